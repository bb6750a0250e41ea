// Reading and writing the resource container at the end of an executable.
//
// Layout, every number little-endian:
//   program bytes | resource data, back to back | index | trailer (40 bytes)
//   index entry:  u16 name length, name (UTF-8, upper case), u16 type length, type,
//                 u64 offset of the data from the start of the file, u64 size
//   trailer:      u64 program size (where the container begins), u64 index offset,
//                 u32 index size, u32 entry count, u32 CRC-32 of the index, u32 version (1),
//                 8 bytes magic "OCLKRES1"
// The trailer is last so the program finds everything by reading the tail of its own file.
// Anything that does not add up (magic, version, CRC, an offset or size outside the data
// area) reads as a file without a container.
#include "resources/ResourceContainer.h"

#include "base/Exception.h"

#include <QFileInfo>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <zlib.h>

namespace {
constexpr char cnMagic[8] = {'O', 'C', 'L', 'K', 'R', 'E', 'S', '1'};
constexpr std::uint32_t cnVersion = 1;
constexpr qint64 cnTrailerSize = 40;
constexpr std::uint32_t cnMaxIndexSize = 16 * 1024 * 1024;
constexpr qint64 cnBlockSize = 1024 * 1024;

template <typename T> T readLE(const char* p) {
    return qFromLittleEndian<T>(p);
}

template <typename T> void appendLE(QByteArray& out, T value) {
    char buf[sizeof(T)];
    qToLittleEndian<T>(value, buf);
    out.append(buf, sizeof(T));
}

std::uint32_t crc32Of(const QByteArray& data) {
    return static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(data.constData()),
                                            static_cast<uInt>(data.size())));
}

// Windows-style error number of the last failed file call.
int lastFileError() {
    switch (errno) {
    case ENOENT:
        return 2;
    case ENOTDIR:
        return 3;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return 5;
    case ENOSPC:
        return 112;
    default:
        return 29;
    }
}

// Parses the index; false when any entry does not fit the data area.
bool parseIndex(const QByteArray& index, std::uint32_t count, std::uint64_t dataBegin,
                std::uint64_t dataEnd, std::vector<TResourceEntry>& entries) {
    const char* p = index.constData();
    std::uint64_t left = static_cast<std::uint64_t>(index.size());
    auto takeText = [&](QString& text) {
        if (left < 2)
            return false;
        const std::uint16_t len = readLE<std::uint16_t>(p);
        p += 2;
        left -= 2;
        if (left < len)
            return false;
        text = QString::fromUtf8(p, len);
        p += len;
        left -= len;
        return true;
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        TResourceEntry entry;
        if (!takeText(entry.Name) || !takeText(entry.Type) || left < 16)
            return false;
        entry.Offset = readLE<std::uint64_t>(p);
        entry.Size = readLE<std::uint64_t>(p + 8);
        p += 16;
        left -= 16;
        if (entry.Offset < dataBegin || entry.Offset > dataEnd ||
            entry.Size > dataEnd - entry.Offset)
            return false;
        entries.push_back(std::move(entry));
    }
    return left == 0;
}
} // namespace

TResourceContainer TResourceContainer::Read(const QString& FilePath) {
    QFile file(FilePath);
    if (!file.open(QIODevice::ReadOnly)) {
        TResourceContainer none;
        return none;
    }
    return Read(file);
}

TResourceContainer TResourceContainer::Read(QFile& File) {
    TResourceContainer result;
    const qint64 fileSize = File.size();
    result.FProgramSize = fileSize > 0 ? static_cast<std::uint64_t>(fileSize) : 0;
    if (fileSize < cnTrailerSize || !File.seek(fileSize - cnTrailerSize))
        return result;
    const QByteArray trailer = File.read(cnTrailerSize);
    if (trailer.size() != cnTrailerSize || std::memcmp(trailer.constData() + 32, cnMagic, 8) != 0)
        return result;
    const char* t = trailer.constData();
    const auto programSize = readLE<std::uint64_t>(t);
    const auto indexOffset = readLE<std::uint64_t>(t + 8);
    const auto indexSize = readLE<std::uint32_t>(t + 16);
    const auto count = readLE<std::uint32_t>(t + 20);
    const auto crc = readLE<std::uint32_t>(t + 24);
    const auto version = readLE<std::uint32_t>(t + 28);
    const auto indexEnd = static_cast<std::uint64_t>(fileSize - cnTrailerSize);
    // The index ends where the trailer begins; the data lies between program and index.
    if (version != cnVersion || indexSize > cnMaxIndexSize || indexOffset > indexEnd ||
        indexEnd - indexOffset != indexSize || programSize > indexOffset)
        return result;
    if (!File.seek(static_cast<qint64>(indexOffset)))
        return result;
    const QByteArray index = File.read(indexSize);
    if (index.size() != static_cast<qsizetype>(indexSize) || crc32Of(index) != crc)
        return result;
    std::vector<TResourceEntry> entries;
    if (!parseIndex(index, count, programSize, indexOffset, entries))
        return result;
    result.FPresent = true;
    result.FProgramSize = programSize;
    result.FEntries = std::move(entries);
    return result;
}

void RaiseFileError(const QString& What, const QFileDevice& File) {
    const int code = lastFileError();
    throw EInOutError(
        QStringLiteral("%1 \"%2\". %3").arg(What, File.fileName(), File.errorString()), code);
}

std::optional<TResourceEntry> TResourceContainer::Find(const QString& Name,
                                                       const QString& Type) const {
    for (const TResourceEntry& entry : FEntries)
        if (entry.Name.compare(Name, Qt::CaseInsensitive) == 0 &&
            entry.Type.compare(Type, Qt::CaseInsensitive) == 0)
            return entry;
    return std::nullopt;
}

bool CopyFileBlocks(QFile& Source, QFileDevice& Dest, std::uint64_t Size) {
    QByteArray block(static_cast<qsizetype>(std::min<std::uint64_t>(Size, cnBlockSize)),
                     Qt::Uninitialized);
    while (Size > 0) {
        const qint64 want = static_cast<qint64>(std::min<std::uint64_t>(Size, cnBlockSize));
        const qint64 got = Source.read(block.data(), want);
        if (got != want || Dest.write(block.constData(), got) != got)
            return false;
        Size -= static_cast<std::uint64_t>(got);
    }
    return true;
}

TResourceWriter::TResourceWriter(const QString& ProgramPath, const QString& OutputPath)
    : FOutputPath(OutputPath), FOut(std::make_unique<QSaveFile>(OutputPath)) {
    QFile program(ProgramPath);
    if (!program.open(QIODevice::ReadOnly))
        RaiseFileError(QStringLiteral("Cannot open file"), program);
    FProgramSize = TResourceContainer::Read(program).ProgramSize();
    if (!FOut->open(QIODevice::WriteOnly))
        RaiseFileError(QStringLiteral("Cannot create file"), *FOut);
    if (!program.seek(0) || !CopyFileBlocks(program, *FOut, FProgramSize))
        RaiseFileError(QStringLiteral("Cannot copy file"), program);
}

TResourceWriter::~TResourceWriter() {
    if (!FFinished)
        FOut->cancelWriting();
}

void TResourceWriter::beginEntry(const QString& Name, const QString& Type) {
    for (const TResourceEntry& entry : FEntries)
        if (entry.Name.compare(Name, Qt::CaseInsensitive) == 0 &&
            entry.Type.compare(Type, Qt::CaseInsensitive) == 0)
            throw Exception(QStringLiteral("Resource %1 (%2) given twice").arg(Name, Type));
    if (Name.toUtf8().size() > 0xFFFF || Type.toUtf8().size() > 0xFFFF || Name.isEmpty())
        throw Exception(QStringLiteral("Invalid resource name \"%1\"").arg(Name));
    TResourceEntry entry;
    // Stored in upper case, as Windows stores text names; look-ups ignore case anyway.
    entry.Name = Name.toUpper();
    entry.Type = Type.toUpper();
    entry.Offset = static_cast<std::uint64_t>(FOut->pos());
    FEntries.push_back(entry);
}

void TResourceWriter::write(const char* Data, qint64 Size) {
    if (FOut->write(Data, Size) != Size)
        RaiseFileError(QStringLiteral("Cannot write file"), *FOut);
}

void TResourceWriter::AddBytes(const QString& Name, const QString& Type, const QByteArray& Data) {
    beginEntry(Name, Type);
    write(Data.constData(), Data.size());
    FEntries.back().Size = static_cast<std::uint64_t>(Data.size());
}

void TResourceWriter::AddFile(const QString& Name, const QString& Type, const QString& Path) {
    QFile source(Path);
    if (!source.open(QIODevice::ReadOnly))
        RaiseFileError(QStringLiteral("Cannot open file"), source);
    const qint64 size = source.size();
    beginEntry(Name, Type);
    if (!CopyFileBlocks(source, *FOut, static_cast<std::uint64_t>(size)))
        RaiseFileError(QStringLiteral("Cannot copy file"), source);
    FEntries.back().Size = static_cast<std::uint64_t>(size);
}

void TResourceWriter::AddRange(const QString& Name, const QString& Type, QFile& Source,
                               std::uint64_t Offset, std::uint64_t Size) {
    beginEntry(Name, Type);
    if (!Source.seek(static_cast<qint64>(Offset)) || !CopyFileBlocks(Source, *FOut, Size))
        RaiseFileError(QStringLiteral("Cannot copy file"), Source);
    FEntries.back().Size = Size;
}

void TResourceWriter::SetMode(unsigned Mode) {
    if (fchmod(FOut->handle(), static_cast<mode_t>(Mode & 0777)) != 0)
        RaiseFileError(QStringLiteral("Cannot write file"), *FOut);
}

void TResourceWriter::Finish() {
    QByteArray index;
    for (const TResourceEntry& entry : FEntries) {
        for (const QString& text : {entry.Name, entry.Type}) {
            const QByteArray utf8 = text.toUtf8();
            appendLE<std::uint16_t>(index, static_cast<std::uint16_t>(utf8.size()));
            index.append(utf8);
        }
        appendLE<std::uint64_t>(index, entry.Offset);
        appendLE<std::uint64_t>(index, entry.Size);
    }
    if (static_cast<std::uint64_t>(index.size()) > cnMaxIndexSize)
        throw Exception(QStringLiteral("Too many resources"));
    QByteArray trailer;
    appendLE<std::uint64_t>(trailer, FProgramSize);
    appendLE<std::uint64_t>(trailer, static_cast<std::uint64_t>(FOut->pos()));
    appendLE<std::uint32_t>(trailer, static_cast<std::uint32_t>(index.size()));
    appendLE<std::uint32_t>(trailer, static_cast<std::uint32_t>(FEntries.size()));
    appendLE<std::uint32_t>(trailer, crc32Of(index));
    appendLE<std::uint32_t>(trailer, cnVersion);
    trailer.append(cnMagic, sizeof cnMagic);
    write(index.constData(), index.size());
    write(trailer.constData(), trailer.size());
    if (!FOut->commit())
        RaiseFileError(QStringLiteral("Cannot write file"), *FOut);
    FFinished = true;
}

void CopyProgramWithout(const QString& Source, const QString& Target, const QString& Name,
                        const QString& Type) {
    QFile source(Source);
    if (!source.open(QIODevice::ReadOnly))
        RaiseFileError(QStringLiteral("Cannot open file"), source);
    struct stat st;
    if (fstat(source.handle(), &st) != 0 || !S_ISREG(st.st_mode))
        throw EInOutError(QStringLiteral("Cannot copy file \"%1\"").arg(Source), 5);
    const TResourceContainer container = TResourceContainer::Read(source);
    // The writer's output follows links; a link left at the target goes first.
    if (QFileInfo(Target).isSymLink())
        QFile::remove(Target);
    if (!container.Find(Name, Type)) {
        QSaveFile out(Target);
        if (!out.open(QIODevice::WriteOnly))
            RaiseFileError(QStringLiteral("Cannot create file"), out);
        if (fchmod(out.handle(), st.st_mode & 0777) != 0 || !source.seek(0) ||
            !CopyFileBlocks(source, out, static_cast<std::uint64_t>(source.size())) ||
            !out.commit())
            RaiseFileError(QStringLiteral("Cannot write file"), out);
        return;
    }
    TResourceWriter writer(Source, Target);
    writer.SetMode(st.st_mode);
    for (const TResourceEntry& entry : container.Entries())
        if (entry.Name.compare(Name, Qt::CaseInsensitive) != 0 ||
            entry.Type.compare(Type, Qt::CaseInsensitive) != 0)
            writer.AddRange(entry.Name, entry.Type, source, entry.Offset, entry.Size);
    writer.Finish();
}
