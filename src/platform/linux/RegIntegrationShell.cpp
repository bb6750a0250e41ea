// URL protocols, file associations and the start-up value on a freedesktop desktop: handler
// entries in $XDG_DATA_HOME/applications with their MIME types made the defaults, a MIME type of
// our own per extension, and an autostart entry in $XDG_CONFIG_HOME/autostart.
#include "platform/RegIntegrationShell.h"

#include "platform/FileUtils.h"
#include "platform/Shortcuts.h"
#include "platform/linux/DesktopEntry.h"
#include "platform/linux/MimeApps.h"
#include "base/Locations.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

const QString EntryPrefix = QStringLiteral("oneclick-");

// RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ).
bool isValidScheme(const QString& Scheme) {
    if (Scheme.isEmpty() || !(Scheme[0].isLetter() && Scheme[0].unicode() < 0x80))
        return false;
    for (QChar C : Scheme)
        if (C.unicode() >= 0x80 || !(C.isLetterOrNumber() || C == u'+' || C == u'-' || C == u'.'))
            return false;
    return true;
}

// An extension that makes a sound glob: a dot and a name without separators or wildcards.
bool isValidExtension(const QString& Extension) {
    if (Extension.size() < 2 || !Extension.startsWith(u'.'))
        return false;
    for (QChar C : Extension.mid(1))
        if (C.unicode() < 0x20 || QStringLiteral("/\\*?[]").contains(C))
            return false;
    return true;
}

// A MIME subtype made of the characters RFC 6838 allows.
QString mimeSubtype(const QString& Text) {
    QString Subtype;
    for (QChar C : Text.toLower())
        Subtype +=
            (C.unicode() < 0x80 && (C.isLetterOrNumber() || QStringLiteral(".+-_").contains(C)))
                ? C
                : QChar(u'-');
    return Subtype;
}

TDesktopEntry handlerEntry(const QString& Name, const QString& ProgramPath,
                           const QString& Parameters, const QString& FieldCode) {
    TDesktopEntry Entry;
    Entry.Name = Name;
    Entry.Command << CleanNativePath(ProgramPath) << QProcess::splitCommand(Parameters);
    Entry.FieldCode = FieldCode;
    Entry.Path = QFileInfo(CleanNativePath(ProgramPath)).absolutePath();
    Entry.NoDisplay = true;
    return Entry;
}

} // namespace

void ShellRegisterUrlProtocol(const QString& Scheme, const QString& Description,
                              const QString& ProgramPath) {
    if (!isValidScheme(Scheme))
        return;
    const QString Lower = Scheme.toLower();
    const QString Id =
        EntryPrefix + QStringLiteral("url-") + DesktopFileStem(Lower) + QStringLiteral(".desktop");
    const QString MimeType = QStringLiteral("x-scheme-handler/") + Lower;
    TDesktopEntry Entry = handlerEntry(Description.isEmpty() ? Scheme : Description, ProgramPath,
                                       QString(), QStringLiteral("%u"));
    Entry.MimeTypes << MimeType;
    if (WriteDesktopEntry(ProgramsFolder() + u'/' + Id, Entry, false))
        SetDefaultApplication(MimeType, Id);
}

void ShellAssociateFileExt(const QString& Extension, const QString& ProgId,
                           const QString& Description, const QString& ProgramPath,
                           const QString& Parameters) {
    if (!isValidExtension(Extension))
        return;
    const QString Ext = Extension.mid(1).toLower();
    const QString TypeName = ProgId.isEmpty() ? Ext : ProgId;
    const QString MimeType = QStringLiteral("application/x-oneclick-") + mimeSubtype(TypeName);
    const QString Comment = Description.isEmpty() ? TypeName : Description;
    // A type the system already knows stays the parent, so its other handlers still apply.
    const QString Parent = SystemMimeTypeForFileName(QStringLiteral("file.") + Ext, MimeType);
    if (!RegisterMimeGlob(EntryPrefix + QStringLiteral("ext-") + DesktopFileStem(Ext), MimeType,
                          Comment, QStringLiteral("*.") + Ext, Parent))
        return;

    const QString Id = EntryPrefix + DesktopFileStem(TypeName) + QStringLiteral(".desktop");
    const QString File = ProgramsFolder() + u'/' + Id;
    TDesktopEntry Entry = handlerEntry(Comment, ProgramPath, Parameters, QStringLiteral("%f"));
    // One handler may serve several extensions.
    Entry.MimeTypes = ReadDesktopEntryList(File, QStringLiteral("MimeType"));
    if (!Entry.MimeTypes.contains(MimeType))
        Entry.MimeTypes << MimeType;
    if (WriteDesktopEntry(File, Entry, false))
        SetDefaultApplication(MimeType, Id);
}

void ShellSetRunAtStartup(const QString& Name, bool Enable, const QString& ProgramPath) {
    const QString File = XdgConfigHome() + QStringLiteral("/autostart/") + DesktopFileStem(Name) +
                         QStringLiteral(".desktop");
    if (!Enable) {
        ForceDeleteFile(File);
        return;
    }
    TDesktopEntry Entry = handlerEntry(Name, ProgramPath, QString(), QString());
    Entry.NoDisplay = false;
    Entry.Extra << qMakePair(QStringLiteral("X-GNOME-Autostart-enabled"), QStringLiteral("true"));
    WriteDesktopEntry(File, Entry, false);
}
