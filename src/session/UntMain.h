// The installer window: start-up and mode selection, the install pipeline, the product set-up,
// the uninstall and the window's buttons and timers, all as handlers of the stored layout.
#pragma once

#include "config/ConfigFile.h"
#include "service/HttpDownload.h"
#include "ui/FrmCommInstLayout.h"

#include <QStringList>
#include <memory>

class TAPI;
class TRegSoftInfo;
class TWebsiteRedirect;

// Created by FormCreate, freed by FormDestroy.
extern TRegSoftInfo* gRegSoftInfo;
extern TAPI* gAPI;
extern TWebsiteRedirect* gWebsiteRedirect;
// The running executable's directory with its trailing separator.
extern QString gExeDir;

class TFrmCommInst : public TFrmCommInstLayout {
    Q_OBJECT

public:
    // Args: the command line without the program name. Create it with CreateForm, which runs
    // FormCreate once the window exists.
    explicit TFrmCommInst(const QStringList& Args, QWidget* AOwner = nullptr);
    ~TFrmCommInst() override;

    // False when start-up told the application not to show the main window ("astart", an
    // unsupported system, the earlier install opened instead).
    bool ShowMainWindow() const { return FbShowMainWindow; }
    // True once start-up or the install pipeline posted a quit.
    bool QuitPosted() const { return FbQuitPosted; }
    bool InstallMode() const { return FbInstallMode; }
    int InstallStatus() const { return FInstallStatus; }
    const QString& TargetDir() const { return FTargetDir; }
    TConfigFile* ConfigFile() const { return FConfigFile.get(); }

    // Start-up. An error that escapes a step is shown as the toolkit shows any escaped error,
    // and start-up ends there.
    void FormCreate() override;
    void FormShow() override;
    void FormClose(TCloseAction& Action) override;
    void FormDestroy() override;

    // Install pipeline.
    void btnInstallClick(QObject* Sender) override;
    void pbProgressChange(QObject* Sender) override;
    void tmrAutoInstTimer(QObject* Sender) override;
    void IdHTTP1WorkBegin(QObject* ASender, int AWorkMode, qint64 AWorkCountMax);
    void IdHTTP1Work(QObject* ASender, int AWorkMode, qint64 AWorkCount);
    void idhtp1WorkFinish(QObject* ASender, int AWorkMode);
    void unzipProgress(QObject* Sender, int Percent);

    // Uninstall pipeline.
    void btnUninstallClick(QObject* Sender) override;
    void btnUninExitClick(QObject* Sender) override;

    // Window actions.
    void btnInstallExitClick(QObject* Sender) override;
    void imgbtnCloseClick(QObject* Sender) override;
    void btnChangeInstallClick(QObject* Sender) override;
    void lblMinimizeClick(QObject* Sender) override;
    void imgOptionsMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                             int X, int Y) override;

private:
    void startUp();
    void getMainProgPath(QString& path) const;
    void getNameFromExe(QString& name) const;
    void registerSoft();
    // False when nothing was removed: the registry store was kept locked by another program and
    // the user gave up waiting.
    bool uninstallSoft();
    // The automatic uninstall that "astart" asks for in uninstall mode.
    void silentUninstall();
    // Queues the end of the event loop (also before it started) and remembers it.
    void postQuit();
    void startMainProgram();
    bool downloadPackage(const QString& url, const QString& zipFile);
    void setProgress(int Percent);
    void setStatus(const QString& Text);

    std::unique_ptr<THttpDownload> FIdHttpDown;
    std::unique_ptr<TConfigFile> FConfigFile;
    bool FbInstallMode = true;
    bool FImgDown = false;
    QString FTargetDir;
    int FTmpWorkCountMax = 0;
    bool FbAutoInst = false;
    int FLastTime = 0;
    int FInstallStatus = 0;

    QStringList FArgs;
    bool FbShowMainWindow = true;
    bool FbQuitPosted = false;
    bool FbPipelineRan = false;
    // The full announced size of the download (FTmpWorkCountMax keeps only its low 32 bits).
    qint64 FWorkCountMax64 = 0;
};
