// Drivers of the whole-installer benchmark (bench/run-all.sh): each runs the very functions the
// installer runs and prints key=value results on one line.
//   oneclick-bench password                     the package password, for the peer programs
//   oneclick-bench stages INSTALLER WORK        the install's stages timed one by one
//   oneclick-bench download URL FILE [SHA256]   the web installer's download and its check
//   oneclick-bench startup INSTALLER [ARG...]   the program's start-up until its window is exposed
#include "BenchSupport.h"
#include "config/ConfigFile.h"
#include "platform/FileUtils.h"
#include "package/MyZip.h"
#include "platform/Process.h"
#include "platform/RegIntegration.h"
#include "resources/Resources.h"
#include "platform/Shortcuts.h"
#include "base/RunningExe.h"
#include "service/HttpDownload.h"
#include "session/UntMain.h"
#include "support/Constants.h"
#include "ui/MsgBoxes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace {

double Seconds(const std::function<void()>& Work) {
    const auto start = std::chrono::steady_clock::now();
    Work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The wall clock the benchmark script reads too (CLOCK_REALTIME), in nanoseconds.
long long WallNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

QString Arg(char* Text) {
    return QString::fromLocal8Bit(Text);
}

// The stages of an install with an embedded package, in the pipeline's order. The set-up stage
// makes what the product set-up makes for the benchmark's configuration (no associations,
// protocol, services or scripts): the shortcuts and the uninstall entry.
int Stages(const QString& Installer, const QString& Work) {
    SetRunningExePath(Installer);
    const TConfigFile cfg(LoadTextResource(QStringLiteral("configfile"), cnResTypeFile), true);
    const QString zip = Work + QStringLiteral("/package.zip");
    const QString target = Work + QStringLiteral("/target");
    const QString unin = target + QStringLiteral("/unin.exe");
    const QString main = NativePath(target + cfg.MainProgPath + cfg.MainProg);
    bool ok = true;
    int events = 0;

    const double save = Seconds(
        [&] { ok = SaveResourceToFile(QStringLiteral("zipfile"), cnResTypeFile, zip) && ok; });
    const double unzip = Seconds([&] {
        ok = UnzipWithPassword(zip, target, PackagePassword(), [&](int) { ++events; }) && ok;
    });
    const double copy = Seconds(
        [&] { ok = SaveExeWithoutResource(QStringLiteral("zipfile"), cnResTypeFile, unin) && ok; });
    // The earlier way, a copy of the whole installer, for comparison; not part of the sum.
    const QString whole = Work + QStringLiteral("/unin-whole.exe");
    const double copyWhole = Seconds([&] { ok = CopyFileOver(Installer, whole) && ok; });
    QFile::remove(whole);
    const double setUp = Seconds([&] {
        QString link;
        CreateDesktopShortcut(main, QString(), cfg.ShortcutName, link);
        CreateProgramsShortcut(main, cfg.ProgramDirName, cfg.ShortcutName);
        CreateProgramsShortcut(unin, cfg.ProgramDirName, QStringLiteral("卸载软件"));
        WriteUninstallEntry(cfg.SoftId, cfg.ShortcutName, main, NativePath(target), cfg.Version,
                            QStringLiteral(" "));
    });
    const double start =
        Seconds([&] { ok = LaunchProgram(main, QString(), QString()) != 0 && ok; });
    std::printf("ok=%d save=%.4f unzip=%.4f copy=%.4f copy_whole=%.4f setup=%.4f start=%.4f "
                "events=%d unin_bytes=%lld peak_kib=%ld\n",
                ok ? 1 : 0, save, unzip, copy, copyWhole, setUp, start, events,
                static_cast<long long>(QFile(unin).size()), PeakResidentKib());
    return ok ? 0 : 1;
}

// The download as the web installer makes it: the same client and settings, work events that
// follow the bytes, and the SHA-256 check of what arrived (taken as the bytes come in).
int Download(const QString& Url, const QString& Path, const QString& Sha256) {
    THttpDownload http;
    http.HandleRedirects = true;
    http.ConnectTimeoutMs = 5000;
    long long announced = 0;
    long long received = 0;
    long events = 0;
    http.OnWorkBegin = [&](int, qint64 Max) { announced = Max; };
    http.OnWork = [&](int, qint64 Count) {
        received = Count;
        ++events;
    };
    bool ok = false;
    const double get = Seconds([&] {
        QFile file(Path);
        ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && http.Get(Url, file);
    });
    const bool matches =
        Sha256.isEmpty() || http.BodySha256Hex().compare(Sha256, Qt::CaseInsensitive) == 0;
    std::printf("ok=%d get=%.4f announced=%lld received=%lld events=%ld peak_kib=%ld\n",
                ok && matches ? 1 : 0, get, announced, received, events, PeakResidentKib());
    return ok && matches ? 0 : 1;
}

// Reports the moment the window is first exposed and ends the program there: what follows
// (the event loop, the close report) is not start-up.
class TExposeWatch : public QObject {
public:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Expose) {
            auto* window = static_cast<QWindow*>(Watched);
            if (window->isExposed()) {
                std::printf("exposed_ns=%lld peak_kib=%ld\n", WallNs(), PeakResidentKib());
                std::fflush(stdout);
                std::_Exit(0);
            }
        }
        return false;
    }
};

// The program entry's own steps (see src/session/main.cpp) with the installer's resources.
int StartUp(int argc, char** argv) {
    const long long entered = WallNs();
    SetRunningExePath(Arg(argv[2]));
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const long long appMade = WallNs();
    InstallShowErrorCodeHandler();
    QStringList args;
    for (int i = 3; i < argc; ++i)
        args << Arg(argv[i]);
    auto window = CreateForm<TFrmCommInst>(args);
    if (!window->ShowMainWindow() || window->QuitPosted()) {
        std::fprintf(stderr, "start-up ended without a window\n");
        return 1;
    }
    std::printf("main_ns=%lld app_ns=%lld form_ns=%lld ", entered, appMade, WallNs());
    TExposeWatch watch;
    window->winId(); // the native window exists before the filter goes on it
    window->windowHandle()->installEventFilter(&watch);
    window->show();
    app.exec();
    std::fprintf(stderr, "the window was never exposed\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "password" && argc == 2) {
        std::printf("%s\n", PackagePassword().toLocal8Bit().constData());
        return 0;
    }
    if (command == "stages" && argc == 4)
        return Stages(Arg(argv[2]), Arg(argv[3]));
    if (command == "download" && (argc == 4 || argc == 5))
        return Download(Arg(argv[2]), Arg(argv[3]), argc == 5 ? Arg(argv[4]) : QString());
    if (command == "startup" && argc >= 3)
        return StartUp(argc, argv);
    std::fprintf(stderr,
                 "usage: %s password | stages INSTALLER WORK | download URL FILE "
                 "[SHA256] | startup INSTALLER [ARG...]\n",
                 argv[0]);
    return 2;
}
