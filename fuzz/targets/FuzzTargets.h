// The bodies of the fuzz targets: each takes one input the installer reads from outside and runs
// it through the code that reads it. The libFuzzer programs and the replay test share them.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <vector>

using TFuzzBody = int (*)(const std::uint8_t* Data, std::size_t Size);

int FuzzConfigFile(const std::uint8_t* Data, std::size_t Size);
int FuzzExeName(const std::uint8_t* Data, std::size_t Size);
int FuzzCipher(const std::uint8_t* Data, std::size_t Size);
int FuzzResourceContainer(const std::uint8_t* Data, std::size_t Size);
int FuzzLanguageFile(const std::uint8_t* Data, std::size_t Size);
int FuzzServiceAnswer(const std::uint8_t* Data, std::size_t Size);
int FuzzPackageExtraction(const std::uint8_t* Data, std::size_t Size);
// The extraction input's first byte that selects the password a shared test archive was made
// with (its name tells which).
char FuzzPasswordSlotFor(const QString& ArchiveName);

struct TFuzzTarget {
    const char* Name; // the folder of its corpus and regressions, and its program fuzz_<Name>
    TFuzzBody Body;
};
const std::vector<TFuzzTarget>& FuzzTargets();

// Points HOME, the XDG folders, TMPDIR and the machine-wide prefix at one fresh private folder,
// so a fuzzer process never touches the real user's or machine's files.
void FuzzIsolateEnvironment();

// A broken promise of the code under test is a finding: say what, then abort like a crash.
[[noreturn]] void FuzzFail(const char* What);

// A fresh folder below the temporary directory for one run, removed with everything in it.
class TFuzzScratch {
public:
    TFuzzScratch();
    QString Path() const { return FDir.path(); }
    // Writes a file of the folder; a failure is the machine's, not a finding, so it aborts.
    QString WriteFile(const QString& Name, const std::uint8_t* Data, std::size_t Size) const;

private:
    QTemporaryDir FDir;
};

// The input as bytes / as text read the way the installer reads text from outside (UTF-8).
QByteArray FuzzBytes(const std::uint8_t* Data, std::size_t Size);
QString FuzzUtf8(const std::uint8_t* Data, std::size_t Size);
