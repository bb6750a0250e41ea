// The installer's resource operations over the container at the end of its own file.
#include "resources/Resources.h"

#include "resources/ResourceContainer.h"
#include "base/RunningExe.h"

#include <QFileInfo>

namespace {
// The running executable opened for reading with its container's entry for (name, type).
struct TOpenResource {
    QFile File;
    TResourceEntry Entry;
};

bool openResource(const QString& name, const QString& type, TOpenResource& res) {
    res.File.setFileName(RunningExePath());
    if (!res.File.open(QIODevice::ReadOnly))
        return false;
    const TResourceContainer container = TResourceContainer::Read(res.File);
    const std::optional<TResourceEntry> entry = container.Find(name, type);
    if (!entry || !res.File.seek(static_cast<qint64>(entry->Offset)))
        return false;
    res.Entry = *entry;
    return true;
}

void openOrRaise(const QString& name, const QString& type, TOpenResource& res) {
    if (!openResource(name, type, res))
        throw EResNotFound(QStringLiteral("Resource %1 not found").arg(name));
}

// Splits at CR LF, lone CR or lone LF and ends every line with CR LF.
QString withCrLfLines(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16 + 2);
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype j = i;
        while (j < n && text[j] != u'\r' && text[j] != u'\n')
            ++j;
        out.append(QStringView(text).mid(i, j - i));
        out.append(QStringLiteral("\r\n"));
        if (j < n && text[j] == u'\r' && j + 1 < n && text[j + 1] == u'\n')
            ++j;
        i = j + 1;
    }
    return out;
}
} // namespace

bool ResourceExists(const QString& Name, const QString& Type) {
    TOpenResource res;
    return openResource(Name, Type, res);
}

QByteArray LoadResourceBytes(const QString& Name, const QString& Type) {
    TOpenResource res;
    openOrRaise(Name, Type, res);
    if (res.Entry.Size > static_cast<std::uint64_t>(MaxInMemoryResource))
        throw EInOutError(QStringLiteral("Resource %1 is too large to load").arg(Name), 8);
    const QByteArray data = res.File.read(static_cast<qint64>(res.Entry.Size));
    if (data.size() != static_cast<qsizetype>(res.Entry.Size))
        RaiseFileError(QStringLiteral("Cannot read file"), res.File);
    return data;
}

QString LoadTextResource(const QString& Name, const QString& Type) {
    QByteArray data = LoadResourceBytes(Name, Type);
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    return withCrLfLines(QString::fromUtf8(data));
}

bool SaveResourceToFile(const QString& Name, const QString& Type, const QString& TargetFile) {
    TOpenResource res;
    openOrRaise(Name, Type, res);
    QFile target(TargetFile);
    // A file without write permission stands for a read-only file: it cannot be deleted or
    // replaced, whoever runs the installer.
    const bool readOnly = target.exists() && !(target.permissions() & QFileDevice::WriteOwner);
    if (readOnly)
        throw EInOutError(
            QStringLiteral("Cannot create file \"%1\". Access is denied").arg(TargetFile), 5);
    QFile::remove(TargetFile);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        RaiseFileError(QStringLiteral("Cannot create file"), target);
    try {
        if (!CopyFileBlocks(res.File, target, res.Entry.Size) || !target.flush())
            RaiseFileError(QStringLiteral("Cannot write file"), target);
    } catch (...) {
        // A half-written package would only fail later as a damaged archive.
        target.close();
        QFile::remove(TargetFile);
        throw;
    }
    target.close();
    return QFileInfo::exists(TargetFile);
}

bool SaveExeWithoutResource(const QString& Name, const QString& Type, const QString& TargetFile) {
    CopyProgramWithout(RunningExePath(), TargetFile, Name, Type);
    return QFileInfo::exists(TargetFile);
}
