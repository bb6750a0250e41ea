// The fixture of the tests that run the built programs: a loopback service, a work folder,
// the programs' paths, the offscreen platform, and on request a browser that only notes the
// addresses it is asked to open.
#pragma once

#include "testsupport/LoopbackServer.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

class TBuiltProgramsTest : public TIsolatedTest {
protected:
    TLoopbackServer FServer;
    QString FWork = FEnv.Root() + QStringLiteral("/work");

    // A fixture that adds to this returns when IsSkipped() after calling it.
    void SetUp() override {
        if (!QFileInfo::exists(setup()) || !QFileInfo::exists(tool()))
            GTEST_SKIP() << "oneclick-setup or oneclick-build is not built";
        QDir().mkpath(FWork);
        FEnv.Set("QT_QPA_PLATFORM", QStringLiteral("offscreen"));
    }

    static QString setup() { return BuiltProgram(QStringLiteral("src/session/oneclick-setup")); }
    static QString tool() { return BuiltProgram(QStringLiteral("tools/oneclick-build/oneclick-build")); }
    // Where the demo product installs.
    QString target() const { return FEnv.DataHome() + QStringLiteral("/Tavelin"); }

    // The browser the programs start (xdg-open first on PATH) appends each address to Log.
    void recordBrowserTo(const QString& Log) {
        const QString bin = FEnv.Root() + QStringLiteral("/bin");
        const QString browser = bin + QStringLiteral("/xdg-open");
        WriteTestFile(
            browser,
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(Log).toUtf8());
        QFile::setPermissions(browser, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        FEnv.Set("PATH", bin + QStringLiteral(":/usr/bin:/bin"));
    }
};
