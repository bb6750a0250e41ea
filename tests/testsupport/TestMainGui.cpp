// Main of the widget test binaries: the offscreen platform unless a display is asked for.
#include "testsupport/TestEnv.h"

#include <QApplication>

int main(int argc, char** argv) {
    TTempEnvironment environment;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
