// Main of the non-graphical test binaries: a core application and one temporary environment
// for the whole run, so even a test without the fixture never sees the real HOME. The programs
// they start draw offscreen unless a display is asked for.
#include "testsupport/TestEnv.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    TTempEnvironment environment;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
