// The installer window's stored layout: every control by name at its designed place, with its
// texts, fonts, colours and design-time pictures, and the event bindings by handler name. The
// handlers do nothing here; the session's window derives from this class and overrides them.
#pragma once

#include "ui/CommLangForm.h"
#include "ui/ImgBtnEx.h"
#include "ui/InstallerWindowControls.h"
#include "ui/TextImageButton.h"

// How a closing window goes: caNone refuses the close, every other value lets it close.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

class TFrmCommInstLayout : public TCommLangForm {
    Q_OBJECT

public:
    // The toolkit's ordinary form constructor: the stored layout, no font override, no Escape,
    // no translation pass and drag-to-move off (start-up turns it on).
    explicit TFrmCommInstLayout(QWidget* AOwner = nullptr);

    // Window heights: as stored, collapsed (start-up) and with the install-path row shown.
    static constexpr int cnStoredHeight = 506;
    static constexpr int cnCollapsedHeight = 408;
    static constexpr int cnExpandedHeight = 484;

    // Top-level controls, in stored order.
    TLabel* lblPath;
    TTextImageButton* btnChangeInstall;
    TImage* img2;
    TImage* imgLeft;
    TImage* imgRight;
    TImage* imgBottom;
    TPanel* pnl1;
    TEdit* edtPath;
    TPageControl* cnMain;
    TTimer* tmrAutoInst;

    // The banner pnl1.
    TImage* imgMain;
    TLabel* lblTitle;
    TImage* imgLogo;
    TLabel* lblBigTitle;
    TLabel* lblDescription;
    TLabel* lblVersion;
    TLabel* lblNameFromExe;
    TImage* imgMiniLogo;
    TImgBtnEx* imgbtnClose;

    // The pages of cnMain.
    TTabSheet* tbInstall;
    TTabSheet* tbProcess;
    TTabSheet* tbFinish;
    TTabSheet* tbUninstall;
    TTabSheet* tbUninProcess;
    TTabSheet* tbUninFinish;

    // tbInstall
    TTextImageButton* btnInstall;
    TPanel* pnl2;
    TLabel* lblDesOptions;
    TImage* imgDown;
    TImage* imgUp;
    // tbProcess
    TLabel* lblDesInstalling;
    TLabel* lblWaitingInfo;
    TFlatProgressBar* pbProgress;
    TLabel* lblPercentNum;
    TLinkLabel* lblMinimize;
    // tbFinish
    TLabel* lblDesInstallComplete;
    TTextImageButton* btnInstallExit;
    // tbUninstall
    TTextImageButton* btnUninstall;
    // tbUninProcess
    TLabel* lblDesUninstalling;
    TFlatProgressBar* pbUninstall;
    // tbUninFinish
    TImage* Image1;
    TLabel* lblDesUninstallComplete;
    TTextImageButton* btnUninExit;

    // Event handlers bound by the stored layout; all empty here.
    virtual void FormShow() {}
    virtual void FormClose(TCloseAction& /*Action*/) {}
    // Not run by this class: the deriving window calls it from its destructor, while its own
    // members still exist.
    virtual void FormDestroy() {}
    virtual void btnChangeInstallClick(QObject* /*Sender*/) {}
    virtual void imgbtnCloseClick(QObject* /*Sender*/) {}
    virtual void btnInstallClick(QObject* /*Sender*/) {}
    virtual void btnInstallExitClick(QObject* /*Sender*/) {}
    virtual void btnUninstallClick(QObject* /*Sender*/) {}
    virtual void btnUninExitClick(QObject* /*Sender*/) {}
    virtual void lblMinimizeClick(QObject* /*Sender*/) {}
    virtual void pbProgressChange(QObject* /*Sender*/) {}
    virtual void tmrAutoInstTimer(QObject* /*Sender*/) {}
    // The custom-install toggle. Not bound by the layout: start-up binds it to imgDown and
    // imgUp after turning drag-to-move on (BindOptionsToggle).
    virtual void imgOptionsMouseDown(QObject* /*Sender*/, Qt::MouseButton /*Button*/,
                                     Qt::KeyboardModifiers /*Shift*/, int /*X*/, int /*Y*/) {}

    // Start-up's touches of the layout, for the session and the preview alike.
    // The embedded branding pictures that exist (bgpic, logo, minilogo, btninst01..03 into the
    // normal, hover and pressed slots of the four main buttons); a missing one keeps the
    // design-time picture. Throws EPngError for a resource that is not a PNG.
    void LoadBrandingImages();
    // imgDown and imgUp call imgOptionsMouseDown on a press, replacing the drag handler.
    void BindOptionsToggle();
    // The configuration's texts: Title into the caption and lblTitle, Version into lblVersion,
    // Description and BigTitle into their labels.
    void ApplyConfigTexts(const QString& Title, const QString& Version, const QString& Description,
                          const QString& BigTitle);
    // Every page's caption cleared and its tab hidden.
    void HidePageTabs();
    // The logo shown; lblDescription 60 pixels right of the logo and 15 higher than designed,
    // lblBigTitle at the same left; lblTitle white and shown.
    void ApplyStartupPlacement();

protected:
    void showEvent(QShowEvent* E) override;
    void closeEvent(QCloseEvent* E) override;

private:
    void loadLayout();
    void createBanner();
    void createPages();
};
