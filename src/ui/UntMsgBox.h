// The branded notice: a warning icon, the message and one button, "确定".
#pragma once

#include "ui/CommLangForm.h"
#include "ui/ImgBtnEx.h"
#include "ui/TextImageButton.h"

class TFrmMsgBox : public TCommLangForm {
    Q_OBJECT

public:
    explicit TFrmMsgBox(const QString& msg);

    TImage* imgMain;
    TLabel* lblCaption;
    TImage* imgIcon;
    TLabel* lblMsg;
    TTextImageButton* btnOK;
    TImgBtnEx* imgbtnClose;

    // Clears the title and loads the embedded pictures; one the installer lacks keeps its
    // design-time look.
    void FormCreate() override;
    void FormShow() {}
    void btnOKClick(QObject* Sender);
    void imgbtnCloseClick(QObject* Sender);

protected:
    void LoadLayout() override;
};
