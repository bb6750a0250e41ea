// The resource container at the end of the installer's file, read from arbitrary bytes. With
// the first byte's low bit set the index checksum is made right first, so the index parser is
// reached by more than one input in four billion.
#include "FuzzTargets.h"

#include "resources/ResourceContainer.h"
#include "resources/Resources.h"
#include "base/RunningExe.h"

#include <QFileInfo>
#include <QtEndian>
#include <cstring>
#include <zlib.h>

namespace {
constexpr qsizetype cnTrailerSize = 40;

void fixIndexChecksum(QByteArray& File) {
    const qsizetype size = File.size();
    if (size < cnTrailerSize || std::memcmp(File.constData() + size - 8, "OCLKRES1", 8) != 0)
        return;
    char* trailer = File.data() + size - cnTrailerSize;
    const auto indexOffset = qFromLittleEndian<std::uint64_t>(trailer + 8);
    const auto indexSize = qFromLittleEndian<std::uint32_t>(trailer + 16);
    const auto indexEnd = static_cast<std::uint64_t>(size - cnTrailerSize);
    if (indexOffset > indexEnd || indexEnd - indexOffset != indexSize)
        return;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(File.constData() + indexOffset), indexSize));
    qToLittleEndian<std::uint32_t>(crc, trailer + 24);
}
} // namespace

int FuzzResourceContainer(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0)
        return 0;
    QByteArray bytes = FuzzBytes(Data + 1, Size - 1);
    if ((Data[0] & 1) != 0)
        fixIndexChecksum(bytes);
    const TFuzzScratch scratch;
    const QString exe = scratch.WriteFile(QStringLiteral("setup.exe"),
                                          reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                          static_cast<std::size_t>(bytes.size()));
    const auto fileSize = static_cast<std::uint64_t>(bytes.size());
    const TResourceContainer container = TResourceContainer::Read(exe);
    if (!container.IsPresent() &&
        (container.ProgramSize() != fileSize || !container.Entries().empty()))
        FuzzFail("a file without a container does not read as a bare program");
    if (container.ProgramSize() > fileSize)
        FuzzFail("the program part is larger than the file");
    for (const TResourceEntry& entry : container.Entries())
        if (entry.Offset < container.ProgramSize() || entry.Offset > fileSize ||
            entry.Size > fileSize - entry.Offset)
            FuzzFail("an entry lies outside the file's data area");

    // The installer's own reads over the same file, for the first few entries.
    SetRunningExePath(exe);
    const QString saved = scratch.Path() + QStringLiteral("/saved.bin");
    std::size_t checked = 0;
    for (const TResourceEntry& entry : container.Entries()) {
        if (++checked > 4)
            break;
        const std::optional<TResourceEntry> found = container.Find(entry.Name, entry.Type);
        if (!found || !ResourceExists(entry.Name, entry.Type))
            FuzzFail("an entry of the index is not found by its own name");
        try {
            const QByteArray data = LoadResourceBytes(entry.Name, entry.Type);
            if (static_cast<std::uint64_t>(data.size()) != found->Size)
                FuzzFail("a loaded resource has another size than its entry");
            (void)LoadTextResource(entry.Name, entry.Type);
            if (!SaveResourceToFile(entry.Name, entry.Type, saved) ||
                static_cast<std::uint64_t>(QFileInfo(saved).size()) != found->Size)
                FuzzFail("a saved resource has another size than its entry");
        } catch (const Exception&) {
            // Too large to load whole, or a read failure: the documented answers.
        }
    }
    SetRunningExePath(QString());
    return 0;
}
