// The installer window's start-up: mode from the file name, configuration, the long-lived
// service objects, the earlier-install check, the default folder and the preinstall report; and
// its show, close and destroy handlers.
#include "session/UntMain.h"

#include "platform/Drives.h"
#include "platform/FileUtils.h"
#include "platform/Process.h"
#include "platform/RegIntegration.h"
#include "resources/Resources.h"
#include "platform/SystemVersion.h"
#include "service/API.h"
#include "session/SessionDialogs.h"
#include "support/Cipher.h"
#include "support/Constants.h"
#include "support/RegSoftInfo.h"
#include "support/WebsiteRedirect.h"
#include "ui/MsgBoxes.h"

#include <QApplication>
#include <QDir>

TRegSoftInfo* gRegSoftInfo = nullptr;
TAPI* gAPI = nullptr;
TWebsiteRedirect* gWebsiteRedirect = nullptr;
QString gExeDir;

namespace {

void SetApplicationTitle(QWidget* Window, const QString& Title) {
    QApplication::setApplicationDisplayName(Title);
    Window->setWindowTitle(Title);
}

// The long-lived service objects go with the window that made them; a later window of the same
// process (tests open several) replaces them, so none is left behind unreachable.
void FreeSessionObjects() {
    delete gRegSoftInfo;
    gRegSoftInfo = nullptr;
    delete gWebsiteRedirect;
    gWebsiteRedirect = nullptr;
    delete gAPI;
    gAPI = nullptr;
}

// The file-name part of a configured path that may use either separator.
QString FileNamePart(const QString& Path) {
    const qsizetype at = std::max(Path.lastIndexOf(u'\\'), Path.lastIndexOf(u'/'));
    return Path.mid(at + 1);
}

} // namespace

TFrmCommInst::TFrmCommInst(const QStringList& Args, QWidget* AOwner)
    : TFrmCommInstLayout(AOwner), FArgs(Args) {}

TFrmCommInst::~TFrmCommInst() {
    FormDestroy();
}

void TFrmCommInst::postQuit() {
    FbQuitPosted = true;
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TFrmCommInst::FormCreate() {
    try {
        startUp();
    } catch (const std::exception& E) {
        SessionShowError(E);
        // A window whose start-up broke off has nothing to go on with (no configuration or
        // service objects, no page), and a hidden one would otherwise wait for ever.
        FbShowMainWindow = false;
        postQuit();
    }
}

void TFrmCommInst::startUp() {
    // 1-2: window basics.
    SetApplicationTitle(this, QStringLiteral("Install"));
    FImgDown = false;
    SetbMouseDownToMoveClient(true);
    BindOptionsToggle();
    resize(width(), cnCollapsedHeight);
    FbAutoInst = false;
    FLastTime = 0;
    FInstallStatus = 0;

    // 3: the silent install, with no window at all.
    if (!FArgs.isEmpty() && FArgs.first() == QStringLiteral("astart")) {
        FbAutoInst = true;
        FbShowMainWindow = false;
    }

    // 4-5: branding and configuration.
    LoadBrandingImages();
    QString configText;
    if (ResourceExists(QStringLiteral("configfile"), cnResTypeFile))
        configText = LoadTextResource(QStringLiteral("configfile"), cnResTypeFile);
    if (configText.isEmpty()) {
        ShowMsgBox(QStringLiteral("config data is empty"));
        postQuit();
        return;
    }

    // 6-7: where we run from and what we are.
    gExeDir = GetExeDir();
    FbInstallMode = GetExeFileName() != QStringLiteral("unin.exe");

    // 8-12: the records and service objects of the whole run.
    FConfigFile = std::make_unique<TConfigFile>(configText, FbInstallMode);
    FreeSessionObjects();
    gRegSoftInfo =
        new TRegSoftInfo(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\") + FConfigFile->SoftId);
    gAPI = new TAPI(FConfigFile->FromSource, FConfigFile->SoftId, FConfigFile->Version,
                    FConfigFile->FromKeywordID);
    gWebsiteRedirect = new TWebsiteRedirect(FConfigFile->SoftId, QString(), QString());
    FIdHttpDown = std::make_unique<THttpDownload>();

    if (FbInstallMode) {
        // 13.1: unsupported system.
        if (!FConfigFile->XPSupported && !IsWinVistaOrLater()) {
            ShowMsgBox(QStringLiteral("当前版本只支持Win7及以上的版本, XP系统无法兼容!"));
            FbShowMainWindow = false;
            postQuit();
            return;
        }
        // 13.2: an earlier install may simply be opened.
        const QString installed = GetInstalledIcon(FConfigFile->SoftId).remove(u'"');
        if (!installed.isEmpty() &&
            SessionCheckIfInstalled(
                QStringLiteral("检测到计算机中已存在此软件，是否为您更新到最新版本？")) == mrOk) {
            ShellExecuteOpen(installed, QString(), QString(), SW_SHOWNORMAL);
            FbShowMainWindow = false;
            postQuit();
            return;
        }
        // 13.3-13.4: a known channel or the switch installs by itself.
        if (FConfigFile->isValidSourceFound())
            tmrAutoInst->SetEnabled(true);
        if (!FArgs.isEmpty() && FArgs.first() == DecryptConstText(cnSwitchS))
            tmrAutoInst->SetEnabled(true);
        // 13.5-13.6: the install page and its default folder, made at once.
        cnMain->SetActivePage(tbInstall);
        const QString defaultDir = getSysLocalAppDataDir() + u'/' + FConfigFile->ProgramDirName;
        edtPath->setText(NativePath(defaultDir));
        QDir().mkpath(NativePath(defaultDir));
        // 13.7
        gAPI->ReportPreInstall();
    } else {
        cnMain->SetActivePage(tbUninstall);
    }

    // 15: running copies of the product would hold its files.
    KillProcessesByName(FileNamePart(FConfigFile->MainProg));

    // 16-17: texts, and the product name the file name may carry.
    ApplyConfigTexts(FConfigFile->Title, FConfigFile->Version, FConfigFile->Description,
                     FConfigFile->BigTitle);
    SetApplicationTitle(this, FConfigFile->Title);
    QString nameFromExe;
    getNameFromExe(nameFromExe);
    lblNameFromExe->SetCaption(nameFromExe);
    if (!nameFromExe.isEmpty()) {
        lblBigTitle->hide();
        lblNameFromExe->move(lblNameFromExe->x(), lblBigTitle->y());
        lblTitle->SetCaption(nameFromExe);
        FConfigFile->ShortcutName = nameFromExe;
    }

    // 18-20: the window's final look, then the silent install.
    HidePageTabs();
    ApplyStartupPlacement();
    if (FbAutoInst)
        tmrAutoInst->SetEnabled(true);
}

void TFrmCommInst::FormShow() {
    raise();
    activateWindow();
}

void TFrmCommInst::FormClose(TCloseAction& /*Action*/) {
    if (FbInstallMode && gAPI)
        gAPI->ReportInstallEnd();
}

void TFrmCommInst::FormDestroy() {
    FreeSessionObjects();
    FConfigFile.reset();
}

void TFrmCommInst::getMainProgPath(QString& path) const {
    path = NativePath(FTargetDir + FConfigFile->MainProgPath + FConfigFile->MainProg);
}

void TFrmCommInst::getNameFromExe(QString& name) const {
    name.clear();
    const QString& softId = FConfigFile->SoftId;
    if (softId == DecryptConstText(cnSoftIdA))
        name = FConfigFile->getDynamicNameFromAPPName(DecryptConstText(cnKeywordK1));
    else if (softId == DecryptConstText(cnSoftIdB) || softId == DecryptConstText(cnSoftIdC))
        name = FConfigFile->getDynamicNameFromAPPName(DecryptConstText(cnKeywordK2));
}
