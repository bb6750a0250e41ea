// The shared stored layout of the two-button dialogs.
#include "ui/QuestionBox.h"

#include "ui/StoredLayout.h"

namespace {
const QString cnSolid = QStringLiteral("btn_msg");
const QString cnOutlined = QStringLiteral("btn_empty");

// Fills the button's picture slots directly: its look changes at the pointer's next move.
void loadFaces(TTextImageButton* Button, const QString& Faces) {
    LoadPictureResource(Button->Bmp, Faces + QStringLiteral("_normal"));
    LoadPictureResource(Button->MOver, Faces + QStringLiteral("_over"));
    LoadPictureResource(Button->MDown, Faces + QStringLiteral("_down"));
}
} // namespace

TQuestionBox::TQuestionBox(const TQuestionBoxLayout& Layout, const QString& msg)
    : TCommLangForm(nullptr), FLayout(Layout) {
    Create(true, true);
    lblMsg->SetCaption(msg);
}

void TQuestionBox::LoadLayout() {
    const TQuestionBoxLayout& l = FLayout;
    setObjectName(QString::fromLatin1(l.FormName));
    SetCaption(QString::fromLatin1(l.FormName));
    setFixedSize(l.ClientWidth, 192);
    SetBackgroundColor(this, Qt::white);

    imgMain = PlaceImage(this, "imgMain", {0, 0, l.ClientWidth, l.MainSizedToPicture ? 194 : 192},
                         QStringLiteral("dlg_msgbox"), true, l.MainSizedToPicture);
    SetAlign(imgMain, alTop);
    lblCaption = PlaceLabel(
        this, "lblCaption", l.CaptionBounds, QStringLiteral("提示"),
        {l.CaptionPixelSize, l.CaptionColor.isValid() ? l.CaptionColor : SystemWindowTextColor()});
    imgIcon = PlaceImage(this, "imgIcon", {34, 64, 40, 40}, QStringLiteral("dlg_icon_ques"));
    lblMsg = PlaceLabel(this, "lblMsg", l.MsgBounds, QString(),
                        {l.MsgPixelSize, SystemWindowTextColor(), false, true});
    btnYes = PlaceButton(this, "btnYes", {l.YesPos, QSize(100, 30)}, l.YesCaption,
                         l.ButtonPixelSize, Qt::black, QStringLiteral("dlg_btn_outline"), 3, true);
    btnYes->setCursor(Qt::PointingHandCursor);
    btnYes->OnClick = [this](QObject* Sender) { btnYesClick(Sender); };
    btnYes->OnMouseEnter = [this](QObject* Sender) { btnYesMouseEnter(Sender); };
    btnYes->OnMouseLeave = [this](QObject* Sender) { btnYesMouseLeave(Sender); };
    btnNo = PlaceButton(this, "btnNo", {l.NoPos, QSize(100, 30)}, l.NoCaption, l.ButtonPixelSize,
                        Qt::white, QStringLiteral("dlg_btn_solid"), 3, true);
    btnNo->setCursor(Qt::PointingHandCursor);
    btnNo->OnClick = [this](QObject* Sender) { btnNoClick(Sender); };

    const QString hairline = QStringLiteral("hairline");
    imgBottom = PlaceImage(this, "imgBottom", {0, 190, l.ClientWidth, 2}, hairline, true);
    SetAlign(imgBottom, alBottom);
    imgLeft = PlaceImage(this, "imgLeft", {-2, -73, 4, 280}, hairline, true);
    imgRight = PlaceImage(this, "imgRight", {l.ClientWidth - 3, 0, 3, 192}, hairline, true);
    SetAlign(imgRight, alRight);

    imgbtnClose = PlaceControl<TImgBtnEx>(this, "imgbtnClose", {l.CloseLeft, 0, 40, 28});
    imgbtnClose->SetTransparent(true);
    imgbtnClose->SetAutoSize(true);
    if (l.CloseLightsUp) {
        imgbtnClose->SetPicSplitNum(4);
        imgbtnClose->SetPicMultiStatus(DesignPicture(QStringLiteral("close_strip")));
    } else {
        imgbtnClose->SetPicture(DesignPicture(QStringLiteral("dlg_close")));
    }
    imgbtnClose->OnClick = [this](QObject* Sender) { imgbtnCloseClick(Sender); };
}

void TQuestionBox::loadEmbeddedPictures(bool YesSolid) {
    TPicture picture;
    if (LoadPictureResource(picture, QStringLiteral("msgbox")))
        imgMain->SetPicture(picture);
    if (LoadPictureResource(picture, QStringLiteral("icon_ques")))
        imgIcon->SetPicture(picture);
    loadFaces(btnYes, YesSolid ? cnSolid : cnOutlined);
    loadFaces(btnNo, YesSolid ? cnOutlined : cnSolid);
}

void TQuestionBox::btnYesClick(QObject*) {
    SetModalResult(mrOk);
}

void TQuestionBox::btnNoClick(QObject*) {
    SetModalResult(mrCancel);
}

void TQuestionBox::imgbtnCloseClick(QObject*) {
    SetModalResult(mrCancel);
}
