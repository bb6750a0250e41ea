// The fuzz targets' shared pieces: the private environment of a fuzzer process, scratch
// folders of one run and the table of every target.
#include "FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

const std::vector<TFuzzTarget>& FuzzTargets() {
    static const std::vector<TFuzzTarget> targets{
        {"config", FuzzConfigFile},
        {"exe_name", FuzzExeName},
        {"cipher", FuzzCipher},
        {"resource_container", FuzzResourceContainer},
        {"language", FuzzLanguageFile},
        {"service_answer", FuzzServiceAnswer},
        {"extraction", FuzzPackageExtraction},
    };
    return targets;
}

void FuzzIsolateEnvironment() {
    // Lives as long as the process; the folder is left for the person who reads a finding.
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/oneclick-fuzz-XXXXXX"));
    if (!root.isValid())
        FuzzFail("cannot create the private environment folder");
    const QString home = root.path() + QStringLiteral("/home");
    const std::pair<const char*, QString> vars[] = {
        {"HOME", home},
        {"XDG_CONFIG_HOME", home + QStringLiteral("/.config")},
        {"XDG_DATA_HOME", home + QStringLiteral("/.local/share")},
        {"XDG_CACHE_HOME", home + QStringLiteral("/.cache")},
        {"TMPDIR", root.path() + QStringLiteral("/tmp")},
        {"ONECLICK_SYSTEM_ROOT", root.path() + QStringLiteral("/system")},
        {"XDG_RUNTIME_DIR", root.path() + QStringLiteral("/runtime")},
    };
    for (const auto& [name, value] : vars) {
        QDir().mkpath(value);
        QFile::setPermissions(value, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(name, QFile::encodeName(value));
    }
    // Desktop refreshes and similar helpers must not reach a real session.
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

void FuzzFail(const char* What) {
    std::fprintf(stderr, "fuzz target: %s\n", What);
    std::fflush(stderr);
    std::abort();
}

TFuzzScratch::TFuzzScratch() : FDir(QDir::tempPath() + QStringLiteral("/run-XXXXXX")) {
    if (!FDir.isValid())
        FuzzFail("cannot create a scratch folder");
}

QString TFuzzScratch::WriteFile(const QString& Name, const std::uint8_t* Data,
                                std::size_t Size) const {
    const QString path = Path() + u'/' + Name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(Data), static_cast<qint64>(Size)) !=
            static_cast<qint64>(Size))
        FuzzFail("cannot write a scratch file");
    return path;
}

QByteArray FuzzBytes(const std::uint8_t* Data, std::size_t Size) {
    return QByteArray(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
}

QString FuzzUtf8(const std::uint8_t* Data, std::size_t Size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
}
