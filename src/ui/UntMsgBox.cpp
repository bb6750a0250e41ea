// The branded notice's stored layout and handlers.
#include "ui/UntMsgBox.h"

#include "ui/StoredLayout.h"

TFrmMsgBox::TFrmMsgBox(const QString& msg) : TCommLangForm(nullptr) {
    Create(true, true);
    lblMsg->SetCaption(msg);
}

void TFrmMsgBox::LoadLayout() {
    setObjectName(QStringLiteral("FrmMsgBox"));
    SetCaption(QStringLiteral("FrmMsgBox"));
    setFixedSize(442, 192);
    SetBackgroundColor(this, Qt::white);

    imgMain =
        PlaceImage(this, "imgMain", {0, 0, 442, 194}, QStringLiteral("dlg_msgbox"), true, true);
    SetAlign(imgMain, alTop);
    lblCaption = PlaceLabel(this, "lblCaption", {10, 5, 32, 21}, QStringLiteral("提示"),
                            {16, QColor(0x3A, 0x3A, 0x3A)});
    imgIcon =
        PlaceImage(this, "imgIcon", {38, 68, 40, 40}, QStringLiteral("dlg_icon_warn"), false, true);
    lblMsg = PlaceLabel(this, "lblMsg", {92, 67, 320, 42}, QString(),
                        {16, SystemWindowTextColor(), false, true});
    btnOK = PlaceButton(this, "btnOK", {178, 149, 100, 30}, QStringLiteral("确定"), 16, Qt::white,
                        QStringLiteral("dlg_btn_solid"), 3, true);
    btnOK->setCursor(Qt::PointingHandCursor);
    btnOK->SetProportional(true);
    btnOK->OnClick = [this](QObject* Sender) { btnOKClick(Sender); };
    imgbtnClose = PlaceControl<TImgBtnEx>(this, "imgbtnClose", {402, 0, 40, 28});
    imgbtnClose->SetTransparent(true);
    imgbtnClose->SetAutoSize(true);
    // A plain picture, no strip: the cross does not change under the pointer.
    imgbtnClose->SetPicture(DesignPicture(QStringLiteral("dlg_close")));
    imgbtnClose->OnClick = [this](QObject* Sender) { imgbtnCloseClick(Sender); };
}

void TFrmMsgBox::FormCreate() {
    SetCaption(QString());
    TPicture picture;
    if (LoadPictureResource(picture, QStringLiteral("msgbox")))
        imgMain->SetPicture(picture);
    if (LoadPictureResource(picture, QStringLiteral("icon_warn")))
        imgIcon->SetPicture(picture);
    LoadPictureResource(btnOK->Bmp, QStringLiteral("btn_msg_normal"));
    LoadPictureResource(btnOK->MOver, QStringLiteral("btn_msg_over"));
    LoadPictureResource(btnOK->MDown, QStringLiteral("btn_msg_down"));
}

void TFrmMsgBox::btnOKClick(QObject*) {
    SetModalResult(mrOk);
}

void TFrmMsgBox::imgbtnCloseClick(QObject*) {
    SetModalResult(mrCancel);
}
