// Desktop entry files and the desktop's helper tools. The quoting follows the Desktop Entry
// Specification: Exec arguments are quoted first, then the whole value gets the string escapes.
#include "platform/linux/DesktopEntry.h"

#include "platform/FileUtils.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

bool needsExecQuotes(const QString& Argument) {
    static const QString Reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (Argument.isEmpty())
        return true;
    for (QChar C : Argument)
        if (Reserved.contains(C))
            return true;
    return false;
}

QString doublePercent(const QString& Text) {
    return QString(Text).replace(u'%', QStringLiteral("%%"));
}

void appendLine(QString& Text, const QString& Key, const QString& Value) {
    Text += Key + u'=' + Value + u'\n';
}

} // namespace

QString QuoteExecArgument(const QString& Argument) {
    if (!needsExecQuotes(Argument))
        return doublePercent(Argument);
    QString Quoted = QStringLiteral("\"");
    for (QChar C : Argument) {
        if (C == u'"' || C == u'`' || C == u'$' || C == u'\\')
            Quoted += u'\\';
        Quoted += C;
    }
    Quoted += u'"';
    return doublePercent(Quoted);
}

QString EscapeDesktopValue(const QString& Value) {
    QString Escaped;
    Escaped.reserve(Value.size());
    for (qsizetype I = 0; I < Value.size(); ++I) {
        const QChar C = Value.at(I);
        if (C == u'\\')
            Escaped += QStringLiteral("\\\\");
        else if (C == u'\n')
            Escaped += QStringLiteral("\\n");
        else if (C == u'\t')
            Escaped += QStringLiteral("\\t");
        else if (C == u'\r')
            Escaped += QStringLiteral("\\r");
        else if (C == u' ' && I == 0)
            Escaped += QStringLiteral("\\s"); // readers trim blanks after '='
        else if (C.unicode() < 0x20 || C.unicode() == 0x7F)
            continue;
        else
            Escaped += C;
    }
    return Escaped;
}

QString DesktopEntryText(const TDesktopEntry& Entry) {
    QStringList Words;
    for (const QString& Argument : Entry.Command)
        Words << QuoteExecArgument(Argument);
    if (!Entry.FieldCode.isEmpty())
        Words << Entry.FieldCode;

    QString Text = QStringLiteral("[Desktop Entry]\n");
    appendLine(Text, QStringLiteral("Type"), QStringLiteral("Application"));
    appendLine(Text, QStringLiteral("Name"), EscapeDesktopValue(Entry.Name));
    appendLine(Text, QStringLiteral("Exec"), EscapeDesktopValue(Words.join(u' ')));
    if (!Entry.Path.isEmpty())
        appendLine(Text, QStringLiteral("Path"), EscapeDesktopValue(Entry.Path));
    if (!Entry.Icon.isEmpty())
        appendLine(Text, QStringLiteral("Icon"), EscapeDesktopValue(Entry.Icon));
    if (!Entry.MimeTypes.isEmpty()) {
        QString List;
        for (const QString& Type : Entry.MimeTypes)
            List += EscapeDesktopValue(Type).replace(u';', QStringLiteral("\\;")) + u';';
        appendLine(Text, QStringLiteral("MimeType"), List);
    }
    if (Entry.NoDisplay)
        appendLine(Text, QStringLiteral("NoDisplay"), QStringLiteral("true"));
    for (const auto& [Key, Value] : Entry.Extra)
        appendLine(Text, Key, EscapeDesktopValue(Value));
    return Text;
}

bool WriteFileIfChanged(const QString& FilePath, const QByteArray& Data, bool* Changed) {
    if (Changed)
        *Changed = false;
    QFile Existing(FilePath);
    if (Existing.open(QIODevice::ReadOnly) && Existing.readAll() == Data)
        return true;
    Existing.close();
    if (!QDir().mkpath(QFileInfo(FilePath).absolutePath()))
        return false;
    QSaveFile File(FilePath);
    if (!File.open(QIODevice::WriteOnly) || File.write(Data) != Data.size() || !File.commit())
        return false;
    if (Changed)
        *Changed = true;
    return true;
}

bool WriteDesktopEntry(const QString& FilePath, const TDesktopEntry& Entry, bool Executable,
                       bool* Changed) {
    if (!WriteFileIfChanged(FilePath, DesktopEntryText(Entry).toUtf8(), Changed))
        return false;
    QFileDevice::Permissions Mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (Executable)
        Mode |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    // QSaveFile creates private files; an entry must be readable by the desktop.
    return QFile::setPermissions(FilePath, Mode);
}

QStringList ReadDesktopEntryList(const QString& FilePath, const QString& Key) {
    QFile File(FilePath);
    if (!File.open(QIODevice::ReadOnly))
        return {};
    bool InMainGroup = false;
    const QString Prefix = Key + u'=';
    for (const QString& Line : QString::fromUtf8(File.readAll()).split(u'\n')) {
        if (Line.startsWith(u'['))
            InMainGroup = Line.trimmed() == QStringLiteral("[Desktop Entry]");
        else if (InMainGroup && Line.startsWith(Prefix))
            return Line.mid(Prefix.size()).split(u';', Qt::SkipEmptyParts);
    }
    return {};
}

QString DesktopFileStem(const QString& Text) {
    QString Stem;
    for (QChar C : Text)
        Stem += (C.isLetterOrNumber() || C == u'-' || C == u'_' || C == u'.') ? C : QChar(u'_');
    if (Stem.isEmpty() || Stem.startsWith(u'.'))
        Stem.prepend(u'_');
    return Stem;
}

QString CleanNativePath(const QString& Path) {
    return Path.isEmpty() ? Path : QDir::cleanPath(NativePath(Path));
}

bool IsInsideFolder(const QString& Path, const QString& Folder) {
    const QString Base = QDir::cleanPath(Folder);
    const QString Cleaned = QDir::cleanPath(Path);
    const QString Prefix = Base.endsWith(u'/') ? Base : Base + u'/';
    return Cleaned.size() > Prefix.size() && Cleaned.startsWith(Prefix);
}

bool RunHelperTool(const QString& Program, const QStringList& Arguments, int TimeoutMs,
                   QByteArray* Output, int* ExitCode) {
    if (ExitCode)
        *ExitCode = -1;
    const QString Found = QStandardPaths::findExecutable(Program);
    if (Found.isEmpty())
        return false;
    QProcess Process;
    Process.setProgram(Found);
    Process.setArguments(Arguments);
    Process.setStandardInputFile(QProcess::nullDevice());
    Process.setStandardErrorFile(QProcess::nullDevice());
    if (!Output)
        Process.setStandardOutputFile(QProcess::nullDevice());
    const QDeadlineTimer Deadline(TimeoutMs);
    Process.start();
    if (!Process.waitForStarted(int(Deadline.remainingTime())) ||
        !Process.waitForFinished(int(qMax<qint64>(Deadline.remainingTime(), 0)))) {
        Process.kill();
        Process.waitForFinished(1000);
        return false;
    }
    if (Output)
        *Output = Process.readAllStandardOutput();
    if (ExitCode)
        *ExitCode = Process.exitCode();
    return Process.exitStatus() == QProcess::NormalExit && Process.exitCode() == 0;
}

void StartHelperTool(const QString& Program, const QStringList& Arguments) {
    const QString Found = QStandardPaths::findExecutable(Program);
    if (Found.isEmpty())
        return;
    QProcess Process;
    Process.setProgram(Found);
    Process.setArguments(Arguments);
    Process.setStandardInputFile(QProcess::nullDevice());
    Process.setStandardOutputFile(QProcess::nullDevice());
    Process.setStandardErrorFile(QProcess::nullDevice());
    Process.startDetached();
}
