// The installer's program entry: the application object, the one installer window as the main
// window, and the event loop until a quit or the window's close ends it.
#include "service/HttpUtils.h"
#include "session/UntMain.h"
#include "ui/MsgBoxes.h"

#include <QApplication>
#include <csignal>

int main(int argc, char** argv) {
    // Past a file-size limit the system ends the program by default; ignored, the write fails
    // with EFBIG like on a full disk, and the install ends on its failure path instead.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    InstallShowErrorCodeHandler();
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty())
        args.removeFirst();
    int result = 0;
    {
        auto window = CreateForm<TFrmCommInst>(args);
        if (window->ShowMainWindow() && !window->QuitPosted())
            window->show();
        result = app.exec();
    }
    // A report still on its way gets a moment to arrive.
    WaitForHttpThreads();
    return result;
}
