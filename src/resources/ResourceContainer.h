// The resource container appended to an executable: the Linux stand-in for PE resources.
// The maker's tool writes it after a copy of the program; the installer reads it from the tail
// of its own file, so copying or renaming the executable keeps every resource.
#pragma once

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct TResourceEntry {
    QString Name;
    QString Type;
    std::uint64_t Offset = 0; // from the start of the file
    std::uint64_t Size = 0;
};

// The index of the container at the end of a file. A file without one, or with a damaged one,
// reads as a program carrying no resources.
class TResourceContainer {
public:
    static TResourceContainer Read(const QString& FilePath);
    static TResourceContainer Read(QFile& File);

    bool IsPresent() const { return FPresent; }
    // The bytes before the container: the program itself (the whole file when none).
    std::uint64_t ProgramSize() const { return FProgramSize; }
    const std::vector<TResourceEntry>& Entries() const { return FEntries; }
    // Names and types compare without regard to case; empty when absent.
    std::optional<TResourceEntry> Find(const QString& Name, const QString& Type) const;

private:
    bool FPresent = false;
    std::uint64_t FProgramSize = 0;
    std::vector<TResourceEntry> FEntries;
};

// Writes a copy of a program followed by a container. A container the program already carries
// is dropped, so the result never holds two. The output appears only when Finish succeeds.
// Every failure throws EInOutError (files) or Exception (a resource given twice).
class TResourceWriter {
public:
    TResourceWriter(const QString& ProgramPath, const QString& OutputPath);
    ~TResourceWriter(); // an unfinished output never appears
    TResourceWriter(const TResourceWriter&) = delete;
    TResourceWriter& operator=(const TResourceWriter&) = delete;

    void AddBytes(const QString& Name, const QString& Type, const QByteArray& Data);
    // Copies the file in blocks; it never sits in memory whole.
    void AddFile(const QString& Name, const QString& Type, const QString& Path);
    // Copies Size bytes of Source from Offset in blocks.
    void AddRange(const QString& Name, const QString& Type, QFile& Source, std::uint64_t Offset,
                  std::uint64_t Size);
    // The output's permission bits (as chmod takes them); otherwise the umask decides.
    void SetMode(unsigned Mode);
    void Finish();

private:
    void beginEntry(const QString& Name, const QString& Type);
    void write(const char* Data, qint64 Size);

    QString FOutputPath;
    std::unique_ptr<QSaveFile> FOut;
    std::uint64_t FProgramSize = 0;
    std::vector<TResourceEntry> FEntries;
    bool FFinished = false;
};

// Writes Target as Source with the resource (Name, Type) left out and every other resource kept,
// in the order Source holds them. Source without that resource is copied as it stands. Target
// gets Source's permission bits and is replaced whole or not at all; a link at Target is
// replaced, never written through. Throws EInOutError.
void CopyProgramWithout(const QString& Source, const QString& Target, const QString& Name,
                        const QString& Type);

// Throws EInOutError "<What> "<file>". <reason>" with the Windows-style number of errno.
[[noreturn]] void RaiseFileError(const QString& What, const QFileDevice& File);

// Copies Size bytes from the current position of Source to Dest in blocks; false on a short
// read or a failed write.
bool CopyFileBlocks(QFile& Source, QFileDevice& Dest, std::uint64_t Size);
