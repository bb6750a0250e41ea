// The branded yes/no question with the buttons "是" and "否"; either can be styled the default.
#pragma once

#include "ui/QuestionBox.h"

class TFrmConfirmbox : public TQuestionBox {
    Q_OBJECT

public:
    TFrmConfirmbox(const QString& msg, bool btnYesDefault);

    bool FBtnYesDefault;

    // The default button takes the solid faces, the other the outlined ones and black text.
    void FormCreate() override;
    void btnYesMouseEnter(QObject* Sender) override;
    void btnYesMouseLeave(QObject* Sender) override;
};
