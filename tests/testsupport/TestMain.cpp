// Main of the non-graphical test binaries: a core application and one temporary environment
// for the whole run, so even a test without the fixture never sees the real HOME.
#include "testsupport/TestEnv.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    TTempEnvironment environment;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
