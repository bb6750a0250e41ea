// The prompt shown at start-up when the product is already installed: "打开软件" (result 1)
// or "重新安装软件" (result 2).
#pragma once

#include "ui/QuestionBox.h"

class TFrmCheckIfInstall : public TQuestionBox {
    Q_OBJECT

public:
    explicit TFrmCheckIfInstall(const QString& msg);

    // "打开软件" takes the outlined faces, "重新安装软件" the solid ones.
    void FormCreate() override;
    void btnYesMouseEnter(QObject* Sender) override;
    void btnYesMouseLeave(QObject* Sender) override;
};
