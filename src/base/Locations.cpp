#include "base/Locations.h"

#include <QDir>
#include <QtGlobal>
#include <pwd.h>
#include <unistd.h>

namespace {

QString envOr(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    // The XDG rules ignore relative values.
    return value.startsWith(u'/') ? value : fallback;
}

QString stripTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

QString HomeDir() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return stripTrailingSlash(home);
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return stripTrailingSlash(QString::fromLocal8Bit(pw->pw_dir));
    return QStringLiteral("/");
}

QString XdgConfigHome() {
    return stripTrailingSlash(envOr("XDG_CONFIG_HOME", HomeDir() + QStringLiteral("/.config")));
}

QString XdgDataHome() {
    return stripTrailingSlash(envOr("XDG_DATA_HOME", HomeDir() + QStringLiteral("/.local/share")));
}

QString XdgCacheHome() {
    return stripTrailingSlash(envOr("XDG_CACHE_HOME", HomeDir() + QStringLiteral("/.cache")));
}

QString SystemRoot() {
    return stripTrailingSlash(envOr("ONECLICK_SYSTEM_ROOT", QStringLiteral("/")));
}

QString SystemPath(const QString& absolutePath) {
    const QString root = SystemRoot();
    return root == QStringLiteral("/") ? absolutePath : root + absolutePath;
}

bool IsRunningAsRoot() { return geteuid() == 0; }

bool EnsureDir(const QString& path) { return !path.isEmpty() && QDir().mkpath(path); }
