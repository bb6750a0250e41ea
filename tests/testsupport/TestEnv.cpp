#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdlib>

TTempEnvironment::TTempEnvironment() {
    if (!FDir.isValid())
        throw std::runtime_error("cannot create a temporary directory");
    for (const QString& dir : {Home(), ConfigHome(), DataHome(), SystemRoot(), Tmp()})
        QDir().mkpath(dir);
    Set("HOME", Home());
    Set("XDG_CONFIG_HOME", ConfigHome());
    Set("XDG_DATA_HOME", DataHome());
    Set("XDG_CACHE_HOME", Home() + QStringLiteral("/.cache"));
    Set("TMPDIR", Tmp());
    Set("ONECLICK_SYSTEM_ROOT", SystemRoot());
}

TTempEnvironment::~TTempEnvironment() {
    for (const auto& [name, value] : FSaved) {
        if (value)
            qputenv(name.c_str(), *value);
        else
            qunsetenv(name.c_str());
    }
}

void TTempEnvironment::Set(const char* name, const QString& value) {
    if (!FSaved.count(name))
        FSaved[name] =
            qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    qputenv(name, value.toLocal8Bit());
}

void WriteTestFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(data), data.size());
}

QByteArray ReadTestFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString SourceDir() {
    const QString dir = qEnvironmentVariable("ONECLICK_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(ONECLICK_SOURCE_DIR_DEFAULT) : dir;
}

QString SharedTestDataDir() {
    const QString dir = QDir::cleanPath(SourceDir() + QStringLiteral("/../shared/testdata"));
    return QFileInfo(dir).isDir() ? dir : QString();
}

QString BuiltProgram(const QString& relativePath) {
    const QString dir = qEnvironmentVariable("ONECLICK_BINARY_DIR");
    return (dir.isEmpty() ? QStringLiteral(ONECLICK_BINARY_DIR_DEFAULT) : dir) + u'/' +
           relativePath;
}

TProgramRun RunProgram(const QString& program, const QStringList& args, int limitMs) {
    QProcess process;
    process.start(program, args);
    TProgramRun run;
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.Err = QStringLiteral("timed out");
        return run;
    }
    run.Code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
