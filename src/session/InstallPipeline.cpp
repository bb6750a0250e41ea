// The install pipeline: free space, the package (embedded or downloaded), extraction, the
// product set-up, the finish page and the start of the main program, each failure reported,
// shown and mostly ended with a quit; plus the progress handlers and the auto-install timer.
#include "session/UntMain.h"

#include "platform/Drives.h"
#include "platform/FileUtils.h"
#include "platform/Firewall.h"
#include "package/MyZip.h"
#include "platform/Process.h"
#include "resources/Resources.h"
#include "service/API.h"
#include "session/SessionDialogs.h"
#include "support/Constants.h"
#include "support/WebsiteRedirect.h"
#include "ui/MsgBoxes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>
#include <cerrno>
#include <chrono>

namespace {

const QString cnInstallFailed =
    QStringLiteral("安装失败，请联系官网客服协助处理。即将打开客服窗口！");
const QString cnUnzipFailed =
    QStringLiteral("文件解压失败，可能是被杀毒软件拦截导致，建议退出杀毒软件后重试！");
const QString cnStartFailed =
    QStringLiteral("软件启动失败，可能是杀毒软件拦截所致！请先暂停杀毒软件再继续。是否重试？");

// A download whose size is not announced creeps towards 80 and reaches it only at the end:
// half of the remaining way for every this many bytes.
constexpr qint64 cnUnknownSizeHalfway = 8LL * 1024 * 1024;

void ProcessMessages() {
    QApplication::processEvents();
}

// The system's millisecond tick count, wrapping like a 32-bit counter.
int TickCount() {
    using namespace std::chrono;
    return static_cast<int>(static_cast<quint32>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count()));
}

QString JoinPath(const QString& Dir, const QString& Name) {
    return Dir.endsWith(u'/') ? Dir + Name : Dir + u'/' + Name;
}

// Installers of one product share the package file and the target folder, so one installs at a
// time: the lock file beside the package in the private temporary folder is held from the
// package's first write to the end of the pipeline. A later installer waits for it, keeping its
// window alive, and then installs over the earlier one. A holder that died without letting go
// is known by its process id and counts as gone.
class TInstallLock {
public:
    explicit TInstallLock(const QString& Path) : FLock(Path) {
        // However long an install takes, a living holder keeps the lock.
        FLock.setStaleLockTime(0);
        while (!FLock.tryLock(0)) {
            if (FLock.error() != QLockFile::LockFailedError)
                return; // no lock can be made there; the package write will tell
            FWaited = true;
            ProcessMessages();
            QThread::msleep(20);
        }
    }
    // True when another installer held the lock first.
    bool Waited() const { return FWaited; }

private:
    QLockFile FLock;
    bool FWaited = false;
};

// Restores the install button and the close button however the pipeline is left.
class TButtonsRestorer {
public:
    explicit TButtonsRestorer(TFrmCommInst* Form) : FForm(Form) {}
    ~TButtonsRestorer() {
        FForm->imgbtnClose->setEnabled(true);
        FForm->imgbtnClose->show();
        FForm->btnInstall->setEnabled(true);
    }

private:
    TFrmCommInst* FForm;
};

} // namespace

void TFrmCommInst::setProgress(int Percent) {
    pbProgress->SetPosition(Percent);
}

void TFrmCommInst::setStatus(const QString& Text) {
    lblWaitingInfo->SetCaption(Text);
}

void TFrmCommInst::btnInstallClick(QObject* /*Sender*/) {
    TButtonsRestorer restorer(this);
    try {
        // 1-3
        imgbtnClose->setEnabled(false);
        imgbtnClose->hide();
        btnInstall->setEnabled(false);
        cnMain->SetActivePage(tbProcess);
        ProcessMessages();
        setStatus(QStringLiteral("正在读取安装包信息..."));
        for (int i = 0; i <= 10; ++i) {
            setProgress(i);
            ProcessMessages();
            QThread::msleep(1);
        }

        // 4-5: the target and its free space.
        FTargetDir = edtPath->text();
        int freeMB = 0;
        if (GetDiskFreeSpaceMB(DriveOfPath(NativePath(FTargetDir)), freeMB) && freeMB < 200) {
            QString drive;
            if (!FindFreeDrive(drive)) {
                ShowMsgBox(
                    QStringLiteral("当前分区空间不足，剩余空间小于150M! 请重新选择另一分区安装"));
                postQuit();
                return;
            }
            FTargetDir = JoinPath(drive, FConfigFile->ProgramDirName);
            QDir().mkpath(NativePath(FTargetDir));
        }

        // 6-8
        gAPI->ReportInstall();
        FInstallStatus = 1;
        setStatus(QStringLiteral("正在检测安装环境..."));
        ProcessMessages();
        setStatus(QStringLiteral("开始安装..."));
        ProcessMessages();
        // The private temporary folder is checked once; the package and its lock live there.
        const QString packageBase = GetTempDir() + FConfigFile->SoftId;
        const QString zipFile = packageBase + QStringLiteral(".zip");
        const TInstallLock installLock(packageBase + QStringLiteral(".lock"));
        // The earlier installer has started the product by now: its running copies would hold
        // the files about to be replaced, as at start-up.
        if (installLock.Waited())
            KillProcessesByName(QFileInfo(NativePath(FConfigFile->MainProg)).fileName());
        ForceDeleteFile(zipFile);

        if (ResourceExists(QStringLiteral("zipfile"), cnResTypeFile)) {
            // 9: the package the installer carries.
            bool saved = false;
            try {
                saved = SaveResourceToFile(QStringLiteral("zipfile"), cnResTypeFile, zipFile);
            } catch (const Exception&) {
                saved = false;
            }
            if (!saved || !QFileInfo::exists(zipFile)) {
                gAPI->ReportInstallFail(QStringLiteral("CreateResFile"), 0);
                gWebsiteRedirect->openInstallError_CustomerService();
                SessionStandardBox(QStringLiteral("资源不存在,安装包已损坏!"));
                postQuit();
                return;
            }
        } else {
            // 10: the package from the distribution service.
            setStatus(QStringLiteral("联网检查配置信息..."));
            ProcessMessages();
            QString url;
            QString ver;
            QString sha256;
            if (!gAPI->GetSoftDownloadInfo(url, ver, sha256)) {
                AddFirewallRule();
                gAPI->GetSoftDownloadInfo(url, ver, sha256);
                while (url.isEmpty()) {
                    if (!AskYesNo(this, QStringLiteral("警告"),
                                  QStringLiteral("网络连接异常，是否尝试重连？"))) {
                        gAPI->ReportInstallFail(QStringLiteral("GetSoftDownloadInfo"), 0);
                        ShowMsgBox(cnInstallFailed);
                        gWebsiteRedirect->openInstallError_CustomerService();
                        postQuit();
                        return;
                    }
                    gAPI->GetSoftDownloadInfo(url, ver, sha256);
                }
            }
            FConfigFile->Version = ver;
            setStatus(QStringLiteral("开始安装..."));
            ProcessMessages();
            if (url.isEmpty()) {
                gAPI->ReportInstallFail(QStringLiteral("url_empty"), 0);
                ShowMsgBox(cnInstallFailed);
                gWebsiteRedirect->openInstallError_CustomerService();
                return;
            }
            bool downloaded = downloadPackage(url, zipFile);
            // A package that is not the one the service announced counts as not downloaded.
            if (downloaded && !sha256.isEmpty() &&
                FIdHttpDown->BodySha256Hex().compare(sha256, Qt::CaseInsensitive) != 0) {
                ForceDeleteFile(zipFile);
                downloaded = false;
            }
            if (!downloaded) {
                gAPI->ReportInstallFail(QStringLiteral("download_zip_fail"), 0);
                ShowMsgBox(cnInstallFailed);
                gWebsiteRedirect->openInstallError_CustomerService();
                postQuit();
                return;
            }
        }

        // 11-14: extraction.
        if (!FConfigFile->ConfigFileDeletedBeforeInstall.isEmpty())
            ForceDeleteFile(NativePath(FConfigFile->ConfigFileDeletedBeforeInstall));
        setProgress(80);
        ProcessMessages();
        if (!QFileInfo::exists(zipFile)) {
            gAPI->ReportInstallFail(QStringLiteral("zip_file_not_exist"), 0);
            ShowMsgBox(cnUnzipFailed);
            postQuit();
            return;
        }
        if (!UnzipWithPassword(zipFile, NativePath(FTargetDir), PackagePassword(),
                               [this](int Percent) { unzipProgress(this, Percent); })) {
            gAPI->ReportInstallFail(QStringLiteral("unzip_failed"), 0);
            gWebsiteRedirect->openInstallError_CustomerService();
            ShowMsgBox(cnUnzipFailed);
            postQuit();
            return;
        }

        // 15-18: set-up, finish and start.
        setStatus(QStringLiteral("正在写入注册信息..."));
        {
            // The machine-wide entries (uninstall entry, associations, protocol) become visible
            // whole or not at all; without the transaction each write runs on its own.
            // A damaged store is named once here rather than only by the writes' numbers.
            std::unique_ptr<TRegTransaction> machine;
            LONG storeError = ERROR_SUCCESS;
            if (SessionBeginStoreTransaction(this, HKEY_LOCAL_MACHINE, machine, &storeError) &&
                !machine)
                SessionShowError(SessionStoreErrorText(HKEY_LOCAL_MACHINE, storeError));
            registerSoft();
            if (machine && (storeError = machine->Commit()) != ERROR_SUCCESS)
                SessionShowError(SessionStoreErrorText(HKEY_LOCAL_MACHINE, storeError));
        }
        for (int i = 95; i <= 100; ++i) {
            setProgress(i);
            ProcessMessages();
            QThread::msleep(1);
        }
        setProgress(100);
        ProcessMessages();
        FInstallStatus = 2;
        cnMain->SetActivePage(tbFinish);
        startMainProgram();
    } catch (const std::exception& E) {
        SessionShowError(E);
    }
}

bool TFrmCommInst::downloadPackage(const QString& url, const QString& zipFile) {
    FIdHttpDown->OnWorkBegin = [this](int Mode, qint64 Max) { IdHTTP1WorkBegin(this, Mode, Max); };
    FIdHttpDown->OnWork = [this](int Mode, qint64 Count) { IdHTTP1Work(this, Mode, Count); };
    FIdHttpDown->OnWorkEnd = [this](int Mode) { idhtp1WorkFinish(this, Mode); };
    FIdHttpDown->HandleRedirects = true;
    FIdHttpDown->ConnectTimeoutMs = 5000;
    QFile file(zipFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EInOutError(QStringLiteral("Cannot create file \"%1\"").arg(zipFile), 5);
    const bool ok = FIdHttpDown->Get(url, file);
    file.close();
    if (!ok)
        ForceDeleteFile(zipFile);
    return ok;
}

void TFrmCommInst::IdHTTP1WorkBegin(QObject* /*ASender*/, int /*AWorkMode*/, qint64 AWorkCountMax) {
    FWorkCountMax64 = AWorkCountMax;
    FTmpWorkCountMax = static_cast<int>(static_cast<quint32>(AWorkCountMax));
    ProcessMessages();
}

void TFrmCommInst::IdHTTP1Work(QObject* /*ASender*/, int /*AWorkMode*/, qint64 AWorkCount) {
    const int before = pbProgress->Position();
    qint64 percent = 0;
    if (FWorkCountMax64 > 0) {
        percent = std::min<qint64>(AWorkCount, FWorkCountMax64) * 100 / FWorkCountMax64;
    } else if (AWorkCount > 0) {
        // Unknown size: an estimate that approaches 100 without reaching it.
        percent = AWorkCount * 100 / (AWorkCount + cnUnknownSizeHalfway);
    }
    setProgress(10 + static_cast<int>(7 * percent / 10));
    const int now = TickCount();
    if (now - FLastTime > 200 || FLastTime == 0 || pbProgress->Position() != before) {
        FLastTime = now;
        ProcessMessages();
    }
}

void TFrmCommInst::idhtp1WorkFinish(QObject* /*ASender*/, int /*AWorkMode*/) {}

void TFrmCommInst::unzipProgress(QObject* /*Sender*/, int Percent) {
    const int before = pbProgress->Position();
    setProgress(80 + 15 * Percent / 100);
    if (pbProgress->Position() != before)
        ProcessMessages();
}

void TFrmCommInst::pbProgressChange(QObject* /*Sender*/) {
    lblPercentNum->SetCaption(QString::number(pbProgress->Position()) + u'%');
}

void TFrmCommInst::startMainProgram() {
    QString name;
    getNameFromExe(name);
    QString path;
    getMainProgPath(path);
    if (FConfigFile->RunAsAdmin) {
        errno = 0;
        while (LaunchProgram(path, name, QString()) == 0) {
            const int lastError = errno;
            if (ShowConfirmBox(cnStartFailed, true)) {
                errno = 0;
                continue;
            }
            gAPI->ReportInstallFail(QStringLiteral("run_exe_failed"), lastError);
            ShowMsgBox(cnInstallFailed);
            gWebsiteRedirect->openInstallError_CustomerService();
            break;
        }
        return;
    }
    int errorCode = 0;
    RunWithToken(path, false, errorCode, true, QString(), false);
    if (errorCode <= 0)
        return;
    const int shellResult = ShellExecuteOpen(path, name, QString(), SW_SHOWNORMAL);
    if (shellResult >= 1 && shellResult <= 31) {
        gAPI->ReportInstallFail(QStringLiteral("run_exe_failed"), shellResult);
        ShowMsgBox(cnInstallFailed);
        gWebsiteRedirect->openInstallError_CustomerService();
        ShowMsgBox(cnStartFailed);
    }
}

void TFrmCommInst::tmrAutoInstTimer(QObject* /*Sender*/) {
    tmrAutoInst->SetEnabled(false);
    if (FbPipelineRan)
        return;
    FbPipelineRan = true;
    if (FbInstallMode)
        btnInstallClick(nullptr);
    else
        silentUninstall(); // never the install pipeline without a target directory
    close();
    // A window that was never shown does not end the program by closing.
    postQuit();
}
