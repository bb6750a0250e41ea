// The fixture of the uninstall and window-action tests: a product installed in process by the
// installer's own pipeline, the loopback service, a browser that only notes pages, and the
// uninstaller the install left behind, started in process from wherever it lies.
#pragma once

#include "session/InstallTestSupport.h"

#include <QDir>
#include <QFileInfo>

class TSessionTest : public TInstallerTest {
protected:
    void SetUp() override {
        TInstallerTest::SetUp();
        FSpec.Package =
            MakePackage(FWork + QStringLiteral("/demo.zip"),
                        {{"common/quintel_win.exe", DemoMainProgram()}, {"top.txt", "top"}});
        FServer.Reply("/api/report/uninstall", 200, R"({"code":0})");
    }

    QString target() const { return FEnv.DataHome() + QStringLiteral("/Tavelin"); }

    // The installer window under FileName, its auto-install timer disarmed.
    std::unique_ptr<TFrmCommInst> installer(const QString& FileName = QStringLiteral("setup.exe")) {
        auto w = start(FileName);
        w->tmrAutoInst->SetEnabled(false);
        return w;
    }

    // Installs the product through the pipeline; true when it ended installed.
    bool install() {
        auto w = installer();
        w->btnInstallClick(nullptr);
        const bool done = w->InstallStatus() == 2;
        w.reset();
        WaitForHttpThreads(5000);
        return done;
    }

    // The uninstaller at Path (a copy of the installed one when it is elsewhere) as the window.
    std::unique_ptr<TFrmCommInst> uninstaller(const QString& Path) {
        const QString installed = target() + QStringLiteral("/unin.exe");
        if (Path != installed) {
            QDir().mkpath(QFileInfo(Path).absolutePath());
            QFile::copy(installed, Path);
        }
        SetRunningExePath(Path);
        FServer.ClearRequests();
        return CreateForm<TFrmCommInst>(QStringList());
    }
    std::unique_ptr<TFrmCommInst> uninstaller() {
        return uninstaller(target() + QStringLiteral("/unin.exe"));
    }

    std::vector<TRecordedRequest> uninstallReports() const {
        return requestsTo("/api/report/uninstall");
    }
};

inline QStringList DirEntries(const QString& Dir) {
    return QDir(Dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}
