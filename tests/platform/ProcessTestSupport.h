// Helpers for tests of started processes: bounded waits for what a detached process leaves
// behind, small scripts, and a stand-in desktop opener that records what it was asked to open.
#pragma once

#include "testsupport/TestEnv.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QThread>
#include <functional>

// Polls until done() holds, for at most the given time; false when it never did.
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 30) {
    QDeadlineTimer deadline(seconds * 1000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

inline bool WaitForFile(const QString& path, int seconds = 30) {
    return WaitUntil([&] { return QFileInfo::exists(path); }, seconds);
}

inline void WriteScript(const QString& path, const QByteArray& text,
                        QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner) {
    WriteTestFile(path, text);
    QFile::setPermissions(path, mode);
}

// Puts an xdg-open first on PATH that writes its arguments, one a line, to a file.
class TOpenerStandIn {
public:
    explicit TOpenerStandIn(TTempEnvironment& env)
        : FRecord(env.Root() + QStringLiteral("/opener-args")) {
        const QString bin = env.Root() + QStringLiteral("/opener-bin");
        WriteScript(bin + QStringLiteral("/xdg-open"),
                    "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$OC_OPENER_OUT.part\" && "
                    "mv \"$OC_OPENER_OUT.part\" \"$OC_OPENER_OUT\"\n");
        env.Set("OC_OPENER_OUT", FRecord);
        env.Set("PATH", bin + u':' + qEnvironmentVariable("PATH"));
        // Nothing here is started as another user.
        env.Set("SUDO_UID", QString());
        env.Set("PKEXEC_UID", QString());
    }

    // The arguments of the next call, once it has been made; empty when none came.
    QStringList TakeArguments() {
        if (!WaitForFile(FRecord))
            return {};
        QString text = QString::fromUtf8(ReadTestFile(FRecord));
        QFile::remove(FRecord);
        if (text.endsWith(u'\n'))
            text.chop(1);
        return text.split(u'\n');
    }

private:
    QString FRecord;
};
