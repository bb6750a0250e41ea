// The uninstall: removal steps around a progress animation, the farewell page and the
// uninstaller's self-removal; and the silent uninstall that "astart" asks for.
#include "session/UntMain.h"

#include "config/TextUtils.h"
#include "platform/FileUtils.h"
#include "platform/Process.h"
#include "platform/RegIntegration.h"
#include "platform/SafeDelete.h"
#include "platform/SelfRemoval.h"
#include "platform/Services.h"
#include "platform/Shortcuts.h"
#include "service/API.h"
#include "session/SessionDialogs.h"
#include "ui/MsgBoxes.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace {

const QString cnMarkerFile = QStringLiteral("soft.conf");
const QString cnWholeTreeFamily = QStringLiteral("quin");
const QString cnFilesKept =
    QStringLiteral("为保护您的文件，以下文件夹是系统或个人文件夹，其中的文件未被删除：");

// The fixed progress animation: each percent shown, then a short pause.
void Animate(TFlatProgressBar* Bar, int From, int To, int PauseMs) {
    for (int Percent = From; Percent <= To; ++Percent) {
        Bar->SetPosition(Percent);
        QApplication::processEvents();
        QThread::msleep(PauseMs);
    }
}

// The close button comes back however the uninstall is left.
class TCloseButtonRestorer {
public:
    explicit TCloseButtonRestorer(QWidget* Button) : FButton(Button) { FButton->setEnabled(false); }
    ~TCloseButtonRestorer() { FButton->setEnabled(true); }
    TCloseButtonRestorer(const TCloseButtonRestorer&) = delete;
    TCloseButtonRestorer& operator=(const TCloseButtonRestorer&) = delete;

private:
    QWidget* FButton;
};

// An entry whose removal did not last stops the uninstall before any file goes.
void CommitOrRaise(TRegTransaction* Transaction, const QString& What) {
    if (Transaction && Transaction->Commit() != ERROR_SUCCESS)
        throw ERegistryException(QStringLiteral("Failed to delete ") + What, Transaction->Error());
}

// The uninstaller's own directory, without a trailing separator.
QString OwnDirectory() {
    return QDir::cleanPath(GetExeDir());
}

} // namespace

void TFrmCommInst::btnUninstallClick(QObject* /*Sender*/) {
    TCloseButtonRestorer restorer(imgbtnClose);
    // An error ends the handler and is shown, as the toolkit shows any escaped error.
    try {
        FTargetDir = OwnDirectory();
        cnMain->SetActivePage(tbUninProcess);
        QThread::msleep(100);
        Animate(pbUninstall, 0, 30, 3);
        QThread::msleep(100);
        if (!uninstallSoft()) {
            // Nothing was removed: the user may try again once the store is free.
            pbUninstall->SetPosition(0);
            cnMain->SetActivePage(tbUninstall);
            return;
        }
        Animate(pbUninstall, 31, 80, 3);
        QThread::msleep(100);
        Animate(pbUninstall, 80, 100, 5);
        QThread::msleep(100);
        cnMain->SetActivePage(tbUninFinish);
    } catch (const std::exception& E) {
        SessionShowError(E);
    }
}

bool TFrmCommInst::uninstallSoft() {
    if (!FConfigFile)
        return false;
    const TConfigFile& Config = *FConfigFile;
    QString MainProg;
    getMainProgPath(MainProg);

    // The entries go first, each store in one transaction begun before anything is removed: a
    // store kept locked by another program would otherwise leave the uninstall entry or the Run
    // value of a product whose files are gone, which the next installer takes for an install.
    // A damaged or unreachable store holds nothing anyone can read, so the removal goes on.
    const bool RunValue = Config.RunAtStartup && !Config.StartupByService;
    std::unique_ptr<TRegTransaction> Machine;
    std::unique_ptr<TRegTransaction> User;
    if (!SessionBeginStoreTransaction(this, HKEY_LOCAL_MACHINE, Machine) ||
        (RunValue && !SessionBeginStoreTransaction(this, HKEY_CURRENT_USER, User)))
        return false;

    // An unreadable entry (a value of the wrong type) counts as no version: the removal goes on.
    QString LocalVersion;
    try {
        LocalVersion = GetInstalledVersion(Config.SoftId);
    } catch (const Exception&) {
    }
    if (!LocalVersion.isEmpty() && gAPI)
        gAPI->ReportUninstall(LocalVersion);
    DeleteUninstallEntry(Config.SoftId);
    CommitOrRaise(Machine.get(), QStringLiteral("the uninstall entry of ") + Config.SoftId);

    if (Config.RunAtStartup) {
        if (Config.StartupByService) {
            if (Config.ServiceName.isEmpty())
                SessionStandardBox(QStringLiteral("服务名未填"));
            StopServiceWait(Config.ServiceName);
            RemoveService(Config.ServiceName);
        } else {
            SetRunAtStartup(Config.SoftId, false, MainProg);
            CommitOrRaise(User.get(), QStringLiteral("the start-up value ") + Config.SoftId);
        }
    }

    // Running copies compare by the program's file name; MainProg may carry a folder part.
    KillProcessesByName(QFileInfo(NativePath(Config.MainProg)).fileName());
    RemoveDesktopShortcut(MainProg, Config.ShortcutName);
    RemoveProgramsShortcut(MainProg, Config.ProgramDirName, Config.ShortcutName);

    QStringList Kept;
    const QString DataDir = NativePath(Config.ConfigPathForUinstall);
    if (!DataDir.isEmpty() && QFileInfo(DataDir).isDir() &&
        SafeDeleteDirContents(DataDir, true) == TSafeDeleteResult::Refused)
        Kept << DataDir;

    const bool WholeTree = QFileInfo::exists(FTargetDir + u'/' + cnMarkerFile) ||
                           !HasSubStr(cnWholeTreeFamily, Config.SoftId);
    if (SafeDeleteDirContents(FTargetDir, WholeTree) == TSafeDeleteResult::Refused)
        Kept << FTargetDir;
    else
        QDir().rmdir(FTargetDir); // normally fails: the uninstaller itself still lies in it

    if (!Kept.isEmpty())
        ShowMsgBox(cnFilesKept + u'\n' + Kept.join(u'\n'));
    return true;
}

void TFrmCommInst::btnUninExitClick(QObject* /*Sender*/) {
    const QString Page = FConfigFile ? FConfigFile->OpenWebsiteAfterUninstall : QString();
    if (!Page.isEmpty())
        OpenUrlMaximized(
            ReplaceAll(Page, QStringLiteral("[Version]"), FConfigFile->Version, false));
    close();
    try {
        DeleteSelfAfterExit();
    } catch (const std::exception& E) {
        SessionShowError(E);
    }
}

void TFrmCommInst::silentUninstall() {
    TCloseButtonRestorer restorer(imgbtnClose);
    // Nobody watches a silent uninstall: an error ends it quietly, and the window still closes.
    try {
        FTargetDir = OwnDirectory();
        if (!uninstallSoft())
            return;
        cnMain->SetActivePage(tbUninFinish);
        DeleteSelfAfterExit();
    } catch (const std::exception&) {
    }
}
