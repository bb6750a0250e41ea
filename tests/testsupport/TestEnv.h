// A private environment for tests: HOME, the XDG folders, TMPDIR and the machine-wide prefix
// all point into one temporary directory, so no test touches the real user's or machine's files.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>

class TTempEnvironment {
public:
    TTempEnvironment();
    ~TTempEnvironment();
    TTempEnvironment(const TTempEnvironment&) = delete;
    TTempEnvironment& operator=(const TTempEnvironment&) = delete;

    QString Root() const { return FDir.path(); }
    QString Home() const { return Root() + QStringLiteral("/home"); }
    QString ConfigHome() const { return Home() + QStringLiteral("/.config"); }
    QString DataHome() const { return Home() + QStringLiteral("/.local/share"); }
    QString SystemRoot() const { return Root() + QStringLiteral("/system"); }
    QString Tmp() const { return Root() + QStringLiteral("/tmp"); }

    // Sets a variable for the life of this environment; the old value comes back afterwards.
    void Set(const char* name, const QString& value);

private:
    QTemporaryDir FDir;
    std::map<std::string, std::optional<QByteArray>> FSaved;
};

// Test failures show texts as texts.
inline void PrintTo(const QString& Text, std::ostream* Out) {
    *Out << '"' << Text.toStdString() << '"';
}

// Base fixture: every test gets its own fresh environment.
class TIsolatedTest : public ::testing::Test {
protected:
    TTempEnvironment FEnv;
};

// Writes a file (creating its folder); fails the test when it cannot.
void WriteTestFile(const QString& path, const QByteArray& data);
QByteArray ReadTestFile(const QString& path);

// The project's source tree and the folder of the shared test data (empty when absent).
QString SourceDir();
QString SharedTestDataDir();

// A program of this build, by its path below the build folder ("tools/oneclick-reg/oneclick-reg").
QString BuiltProgram(const QString& relativePath);

// One run of a program to its end, bounded so a hung program cannot hang the suite. Code is
// -1 when it crashed or ran past the limit (it is then killed).
struct TProgramRun {
    int Code = -1;
    QString Out;
    QString Err;
};
TProgramRun RunProgram(const QString& program, const QStringList& args, int limitMs = 60000);
