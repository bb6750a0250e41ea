// The arrangement the confirmation and reinstall dialogs share: a question icon, the text, two
// picture buttons, hairline edges and the close cross. Only sizes, fonts and captions differ.
#pragma once

#include "ui/CommLangForm.h"
#include "ui/ImgBtnEx.h"
#include "ui/TextImageButton.h"

#include <QColor>
#include <QPoint>
#include <QRect>

struct TQuestionBoxLayout {
    const char* FormName;
    int ClientWidth;
    bool MainSizedToPicture; // else the dialog picture is stretched into the client area
    QRect CaptionBounds;
    int CaptionPixelSize;
    QColor CaptionColor; // an invalid colour stands for the window-text colour
    QRect MsgBounds;
    int MsgPixelSize;
    QString YesCaption;
    QPoint YesPos;
    QString NoCaption;
    QPoint NoPos;
    int ButtonPixelSize;
    int CloseLeft;
    bool CloseLightsUp; // a four-look strip rather than one plain cross
};

class TQuestionBox : public TCommLangForm {
    Q_OBJECT

public:
    TImage* imgMain = nullptr;
    TLabel* lblCaption = nullptr;
    TImage* imgIcon = nullptr;
    TLabel* lblMsg = nullptr;
    TTextImageButton* btnYes = nullptr;
    TTextImageButton* btnNo = nullptr;
    TImage* imgBottom = nullptr;
    TImage* imgLeft = nullptr;
    TImage* imgRight = nullptr;
    TImgBtnEx* imgbtnClose = nullptr;

    void FormShow() {}
    void btnYesClick(QObject* Sender);
    void btnNoClick(QObject* Sender);
    void imgbtnCloseClick(QObject* Sender);
    virtual void btnYesMouseEnter(QObject* Sender) = 0;
    virtual void btnYesMouseLeave(QObject* Sender) = 0;

protected:
    TQuestionBox(const TQuestionBoxLayout& Layout, const QString& msg);
    void LoadLayout() override;
    // The embedded pictures: the dialog ground, the question icon, the solid faces into one
    // button's slots and the outlined faces into the other's. A picture the installer lacks
    // keeps its design-time look.
    void loadEmbeddedPictures(bool YesSolid);

private:
    const TQuestionBoxLayout& FLayout;
};
