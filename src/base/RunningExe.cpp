#include "base/RunningExe.h"

#include <QFileInfo>

namespace {
QString& overridePath() {
    static QString path;
    return path;
}
} // namespace

QString RunningExePath() {
    if (!overridePath().isEmpty())
        return overridePath();
    static const QString own = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return own;
}

void SetRunningExePath(const QString& path) { overridePath() = path; }
