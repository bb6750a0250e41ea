// The installer's program entry: the application object, the one installer window as the main
// window, and the event loop until a quit or the window's close ends it.
#include "service/HttpUtils.h"
#include "session/UntMain.h"
#include "ui/MsgBoxes.h"

#include <QApplication>

int main(int argc, char** argv) {
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
