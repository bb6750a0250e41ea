// The installer window as designed: its controls, their looks and the handler bindings.
#include "ui/FrmCommInstLayout.h"

#include "resources/Resources.h"
#include "ui/StoredLayout.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QShowEvent>

namespace {
const QColor cnPageText(0x4F, 0x4F, 0x4F);
const QString cnArial = QStringLiteral("Arial");

TFlatProgressBar* progressBar(QWidget* Parent, const char* Name, const QRect& Bounds,
                              int Position) {
    auto* control = PlaceControl<TFlatProgressBar>(Parent, Name, Bounds);
    control->SetTrackColor(QColor(0xDD, 0xDD, 0xDD));
    control->SetBarColor(QColor(0x0F, 0x87, 0xFF));
    control->SetPosition(Position);
    return control;
}

// The picture buttons of the window: no strip, hints shown, the other settings as constructed.
TTextImageButton* button(QWidget* Parent, const char* Name, const QRect& Bounds,
                         const QString& Caption, int PixelSize, const QColor& Color,
                         const QString& Faces, bool AutoSize = false) {
    return PlaceButton(Parent, Name, Bounds, Caption, PixelSize, Color, Faces, 0, AutoSize);
}

// Applies a picture resource when the installer carries it; a missing one changes nothing.
template <class TApply> void loadIfPresent(const QString& Name, TApply Apply) {
    if (!ResourceExists(Name, cnResTypeFile))
        return;
    TPicture picture;
    LoadPngToPicture(picture, Name, cnResTypeFile);
    Apply(picture);
}
} // namespace

TFrmCommInstLayout::TFrmCommInstLayout(QWidget* AOwner) : TCommLangForm(AOwner) {
    loadLayout();
}

void TFrmCommInstLayout::loadLayout() {
    setObjectName(QStringLiteral("FrmCommInst"));
    SetCaption(QStringLiteral("FrmCommInst"));
    resize(620, cnStoredHeight);
    SetBackgroundColor(this, Qt::white);
    setFont(LayoutFont(cnArial, 12));
    SetTextColor(this, SystemWindowTextColor());
    SetScreenCenter(true);

    lblPath = PlaceLabel(this, "lblPath", {32, 421, 48, 17}, QStringLiteral("安装路径"),
                         {12, cnPageText});
    btnChangeInstall =
        button(this, "btnChangeInstall", {511, 441, 77, 26}, QStringLiteral("更改目录"), 12,
               SystemGrayTextColor(), QStringLiteral("inst_btn_change"), true);
    btnChangeInstall->OnClick = [this](QObject* Sender) { btnChangeInstallClick(Sender); };
    img2 = PlaceImage(this, "img2", {-16, 405, 800, 4}, QStringLiteral("inst_shadow"), true);
    imgLeft = PlaceImage(this, "imgLeft", {-2, 250, 4, 260}, QStringLiteral("hairline"), true);
    imgRight = PlaceImage(this, "imgRight", {618, 240, 2, 260}, QStringLiteral("hairline"), true);
    imgBottom =
        PlaceImage(this, "imgBottom", {0, 505, 620, 1}, QStringLiteral("inst_bottom_line"), true);
    SetAlign(imgBottom, alBottom);

    pnl1 = PlaceControl<TPanel>(this, "pnl1", {0, 0, 620, 253});
    pnl1->SetColor(Qt::white);
    SetAlign(pnl1, alTop);
    createBanner();

    edtPath = PlaceControl<TEdit>(this, "edtPath", {32, 442, 468, 22});
    edtPath->setFrame(false);
    SetLayoutFont(edtPath, cnArial, 13, cnPageText);

    cnMain = PlaceControl<TPageControl>(this, "cnMain", {14, 262, 590, 138});
    cnMain->setCursor(Qt::PointingHandCursor);
    cnMain->SetTabHeight(23);
    cnMain->SetTabFont(LayoutFont(cnLayoutFace, 12));
    cnMain->SetTabTextColor(SystemHotLightColor());
    createPages();
    cnMain->SetActivePage(tbInstall);

    tmrAutoInst = new TTimer(this);
    tmrAutoInst->setObjectName(QStringLiteral("tmrAutoInst"));
    tmrAutoInst->SetInterval(100);
    tmrAutoInst->SetEnabled(false);
    tmrAutoInst->OnTimer = [this](QObject* Sender) { tmrAutoInstTimer(Sender); };
}

void TFrmCommInstLayout::createBanner() {
    imgMain = PlaceImage(pnl1, "imgMain", {0, 0, 620, 400}, QStringLiteral("inst_bgpic"));
    imgMain->SetTransparent(true);
    SetAlign(imgMain, alTop);
    lblTitle = PlaceLabel(pnl1, "lblTitle", {45, 10, 88, 19}, QStringLiteral("XXX软件 v8.30"),
                          {13, QColor(0xD4, 0xD4, 0xD4)});
    lblTitle->hide();
    imgLogo =
        PlaceImage(pnl1, "imgLogo", {66, 85, 102, 102}, QStringLiteral("inst_logo"), false, true);
    lblBigTitle =
        PlaceLabel(pnl1, "lblBigTitle", {199, 90, 324, 66},
                   QStringLiteral("这里是软件的名称显示软件"), {27, Qt::white, true, true});
    lblDescription = PlaceLabel(pnl1, "lblDescription", {199, 162, 102, 25},
                                QStringLiteral("description"), {19, Qt::white});
    lblVersion = PlaceLabel(pnl1, "lblVersion", {496, 55, 69, 27}, QStringLiteral("3.10"),
                            {20, Qt::white, true, true});
    lblVersion->hide();
    lblNameFromExe =
        PlaceLabel(pnl1, "lblNameFromExe", {199, 54, 6, 28}, QString(), {21, Qt::white});
    imgMiniLogo = PlaceImage(pnl1, "imgMiniLogo", {14, 9, 25, 25}, QStringLiteral("inst_minilogo"));

    imgbtnClose = PlaceControl<TImgBtnEx>(pnl1, "imgbtnClose", {580, 0, 40, 28});
    imgbtnClose->SetTransparent(true);
    imgbtnClose->SetAutoSize(true);
    imgbtnClose->SetPicSplitNum(4);
    imgbtnClose->SetPicMultiStatus(DesignPicture(QStringLiteral("close_strip")));
    imgbtnClose->OnClick = [this](QObject* Sender) { imgbtnCloseClick(Sender); };
}

void TFrmCommInstLayout::createPages() {
    const auto page = [this](const char* Name, const QString& Caption) {
        auto* sheet = new TTabSheet(cnMain);
        sheet->setObjectName(QString::fromLatin1(Name));
        sheet->SetCaption(Caption);
        return sheet;
    };
    tbInstall = page("tbInstall", QStringLiteral("安装"));
    tbProcess = page("tbProcess", QStringLiteral("正在安装"));
    tbFinish = page("tbFinish", QStringLiteral("安装完成"));
    tbUninstall = page("tbUninstall", QStringLiteral("卸载"));
    tbUninProcess = page("tbUninProcess", QStringLiteral("正在卸载"));
    tbUninFinish = page("tbUninFinish", QStringLiteral("卸载完成"));
    const QString bigFaces = QStringLiteral("inst_btn");
    const TLabelStyle pageText{13, cnPageText, true};

    btnInstall = button(tbInstall, "btnInstall", {200, 45, 200, 48}, QStringLiteral("一键安装"), 17,
                        Qt::white, bigFaces);
    btnInstall->setCursor(Qt::PointingHandCursor);
    btnInstall->SetStretch(true);
    btnInstall->OnClick = [this](QObject* Sender) { btnInstallClick(Sender); };
    pnl2 = PlaceControl<TPanel>(tbInstall, "pnl2", {0, 93, 590, 22});
    SetAlign(pnl2, alBottom);
    lblDesOptions = PlaceLabel(pnl2, "lblDesOptions", {510, 0, 60, 17},
                               QStringLiteral("自定义安装"), {12, QColor(0x44, 0x44, 0x44)});
    imgDown = PlaceImage(pnl2, "imgDown", {490, 0, 80, 19}, QStringLiteral("inst_arrow_down"));
    imgDown->setCursor(Qt::PointingHandCursor);
    imgUp = PlaceImage(pnl2, "imgUp", {490, 0, 80, 19}, QStringLiteral("inst_arrow_up"));
    imgUp->setCursor(Qt::PointingHandCursor);
    imgUp->hide();

    lblDesInstalling = PlaceLabel(tbProcess, "lblDesInstalling", {28, 13, 553, 20},
                                  QStringLiteral("软件正在安装，请耐心等候......"), pageText);
    SetBackgroundColor(lblDesInstalling, SystemWindowColor());
    lblWaitingInfo =
        PlaceLabel(tbProcess, "lblWaitingInfo", {28, 41, 4, 17}, QString(), {12, cnPageText});
    SetBackgroundColor(lblWaitingInfo, SystemWindowColor());
    pbProgress = progressBar(tbProcess, "pbProgress", {30, 62, 504, 8}, 10);
    pbProgress->OnChange = [this](QObject* Sender) { pbProgressChange(Sender); };
    lblPercentNum = PlaceLabel(tbProcess, "lblPercentNum", {550, 58, 18, 17}, QStringLiteral("0%"),
                               {12, SystemHotLightColor()});
    // Fixed width, so the right-justified text keeps its designed right edge.
    lblMinimize = PlaceLabel<TLinkLabel>(tbProcess, "lblMinimize", {454, 84, 88, 21},
                                         QStringLiteral("最小化安装窗口"),
                                         {12, SystemHotLightColor(), true, false, Qt::AlignRight});
    lblMinimize->OnClick = [this](QObject* Sender) { lblMinimizeClick(Sender); };
    lblMinimize->hide();

    lblDesInstallComplete = PlaceLabel(tbFinish, "lblDesInstallComplete", {3, 15, 572, 20},
                                       QStringLiteral("恭喜！软件已安装成功"),
                                       {13, cnPageText, true, false, Qt::AlignHCenter});
    btnInstallExit = button(tbFinish, "btnInstallExit", {201, 54, 175, 45},
                            QStringLiteral("安装完成"), 19, Qt::white, bigFaces);
    btnInstallExit->setCursor(Qt::PointingHandCursor);
    btnInstallExit->SetStretch(true);
    btnInstallExit->OnClick = [this](QObject* Sender) { btnInstallExitClick(Sender); };

    btnUninstall = button(tbUninstall, "btnUninstall", {189, 41, 175, 45},
                          QStringLiteral("卸载软件"), 19, Qt::white, bigFaces);
    btnUninstall->SetStretch(true);
    btnUninstall->OnClick = [this](QObject* Sender) { btnUninstallClick(Sender); };

    lblDesUninstalling = PlaceLabel(tbUninProcess, "lblDesUninstalling", {25, 16, 556, 20},
                                    QStringLiteral("软件正在卸载，请耐心等候......"),
                                    {13, cnPageText, true, false, Qt::AlignHCenter});
    SetBackgroundColor(lblDesUninstalling, SystemWindowColor());
    pbUninstall = progressBar(tbUninProcess, "pbUninstall", {30, 60, 510, 12}, 5);

    Image1 = PlaceImage(tbUninFinish, "Image1", {12, 4, 36, 36}, QStringLiteral("inst_check"),
                        false, true);
    lblDesUninstallComplete =
        PlaceLabel(tbUninFinish, "lblDesUninstallComplete", {63, 14, 403, 19},
                   QStringLiteral("软件已经卸载完成！如果关于软件使用有任何问题欢迎再与我们联系！"),
                   {13, cnPageText});
    btnUninExit = button(tbUninFinish, "btnUninExit", {201, 48, 175, 45}, QStringLiteral("退出"),
                         19, Qt::white, bigFaces);
    btnUninExit->setCursor(Qt::PointingHandCursor);
    btnUninExit->SetStretch(true);
    btnUninExit->OnClick = [this](QObject* Sender) { btnUninExitClick(Sender); };
}

void TFrmCommInstLayout::LoadBrandingImages() {
    loadIfPresent(QStringLiteral("bgpic"), [this](const TPicture& P) { imgMain->SetPicture(P); });
    loadIfPresent(QStringLiteral("logo"), [this](const TPicture& P) { imgLogo->SetPicture(P); });
    loadIfPresent(QStringLiteral("minilogo"),
                  [this](const TPicture& P) { imgMiniLogo->SetPicture(P); });
    TTextImageButton* const mainButtons[] = {btnInstall, btnInstallExit, btnUninstall, btnUninExit};
    // The slots themselves: what a button shows changes at its next state change.
    loadIfPresent(QStringLiteral("btninst01"), [&](const TPicture& P) {
        for (TTextImageButton* b : mainButtons)
            b->Bmp = P;
    });
    loadIfPresent(QStringLiteral("btninst02"), [&](const TPicture& P) {
        for (TTextImageButton* b : mainButtons)
            b->MOver = P;
    });
    loadIfPresent(QStringLiteral("btninst03"), [&](const TPicture& P) {
        for (TTextImageButton* b : mainButtons)
            b->MDown = P;
    });
}

void TFrmCommInstLayout::BindOptionsToggle() {
    const TMouseEvent toggle = [this](QObject* Sender, Qt::MouseButton Button,
                                      Qt::KeyboardModifiers Shift, int X,
                                      int Y) { imgOptionsMouseDown(Sender, Button, Shift, X, Y); };
    imgDown->OnMouseDown = toggle;
    imgUp->OnMouseDown = toggle;
}

void TFrmCommInstLayout::ApplyConfigTexts(const QString& Title, const QString& Version,
                                          const QString& Description, const QString& BigTitle) {
    QGuiApplication::setApplicationDisplayName(Title);
    SetCaption(Title);
    lblTitle->SetCaption(Title);
    lblVersion->SetCaption(Version);
    lblDescription->SetCaption(Description);
    lblBigTitle->SetCaption(BigTitle);
}

void TFrmCommInstLayout::HidePageTabs() {
    for (int i = 0; i < cnMain->PageCount(); ++i) {
        cnMain->Pages(i)->SetCaption(QString());
        cnMain->Pages(i)->SetTabVisible(false);
    }
}

void TFrmCommInstLayout::ApplyStartupPlacement() {
    imgLogo->show();
    const int left = imgLogo->x() + imgLogo->width() + 60;
    lblDescription->move(left, lblDescription->y() - 15);
    lblBigTitle->move(left, lblBigTitle->y());
    SetTextColor(lblTitle, Qt::white);
    lblTitle->show();
}

void TFrmCommInstLayout::showEvent(QShowEvent* E) {
    TCommLangForm::showEvent(E);
    if (!E->spontaneous())
        FormShow();
}

void TFrmCommInstLayout::closeEvent(QCloseEvent* E) {
    TCloseAction action = caHide;
    FormClose(action);
    if (action == caNone) {
        E->ignore();
        return;
    }
    if (action == caMinimize) {
        E->ignore();
        showMinimized();
        return;
    }
    TCommLangForm::closeEvent(E);
}
