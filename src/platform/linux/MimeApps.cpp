// MIME packages and mimeapps.list, written the way the shared-mime-info and MIME Applications
// Associations specifications describe; mimeapps.list is edited line by line so that the
// user's other settings and comments survive.
#include "platform/linux/MimeApps.h"

#include "platform/linux/DesktopEntry.h"
#include "base/Locations.h"

#include <QFile>
#include <QMimeDatabase>

namespace {

constexpr int MimeUpdateTimeoutMs = 10000;

QString xmlEscaped(const QString& Text) {
    return Text.toHtmlEscaped();
}

// Sets Key=Value in [Section], adding the section or key at its end when missing.
void setListValue(QStringList& Lines, const QString& Section, const QString& Key,
                  const QString& Value) {
    const QString Header = u'[' + Section + u']';
    qsizetype Start = -1;
    for (qsizetype I = 0; I < Lines.size(); ++I)
        if (Lines[I].trimmed() == Header) {
            Start = I;
            break;
        }
    const QString Line = Key + u'=' + Value;
    if (Start < 0) {
        if (!Lines.isEmpty() && !Lines.last().trimmed().isEmpty())
            Lines << QString();
        Lines << Header << Line;
        return;
    }
    qsizetype End = Start + 1;
    while (End < Lines.size() && !Lines[End].trimmed().startsWith(u'['))
        ++End;
    for (qsizetype I = Start + 1; I < End; ++I)
        if (Lines[I].section(u'=', 0, 0).trimmed() == Key) {
            Lines[I] = Line;
            return;
        }
    qsizetype Insert = End;
    while (Insert > Start + 1 && Lines[Insert - 1].trimmed().isEmpty())
        --Insert;
    Lines.insert(Insert, Line);
}

QStringList listValue(const QStringList& Lines, const QString& Section, const QString& Key) {
    bool InSection = false;
    for (const QString& Line : Lines) {
        const QString Trimmed = Line.trimmed();
        if (Trimmed.startsWith(u'['))
            InSection = Trimmed == u'[' + Section + u']';
        else if (InSection && Line.section(u'=', 0, 0).trimmed() == Key)
            return Line.section(u'=', 1).split(u';', Qt::SkipEmptyParts);
    }
    return {};
}

} // namespace

bool SetDefaultApplication(const QString& MimeType, const QString& DesktopId) {
    const QString Path = XdgConfigHome() + QStringLiteral("/mimeapps.list");
    QStringList Lines;
    QFile File(Path);
    if (File.open(QIODevice::ReadOnly))
        Lines = QString::fromUtf8(File.readAll()).split(u'\n');
    File.close();
    while (!Lines.isEmpty() && Lines.last().isEmpty())
        Lines.removeLast();

    QStringList Added = listValue(Lines, QStringLiteral("Added Associations"), MimeType);
    Added.removeAll(DesktopId);
    Added.prepend(DesktopId);
    setListValue(Lines, QStringLiteral("Added Associations"), MimeType, Added.join(u';') + u';');
    setListValue(Lines, QStringLiteral("Default Applications"), MimeType, DesktopId);
    return WriteFileIfChanged(Path, (Lines.join(u'\n') + u'\n').toUtf8());
}

bool RegisterMimeGlob(const QString& PackageName, const QString& MimeType, const QString& Comment,
                      const QString& Glob, const QString& SubClassOf) {
    QString Xml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<mime-info "
                       "xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n");
    Xml += QStringLiteral("  <mime-type type=\"%1\">\n").arg(xmlEscaped(MimeType));
    Xml += QStringLiteral("    <comment>%1</comment>\n").arg(xmlEscaped(Comment));
    if (!SubClassOf.isEmpty())
        Xml += QStringLiteral("    <sub-class-of type=\"%1\"/>\n").arg(xmlEscaped(SubClassOf));
    Xml += QStringLiteral("    <glob pattern=\"%1\" weight=\"80\"/>\n").arg(xmlEscaped(Glob));
    Xml += QStringLiteral("  </mime-type>\n</mime-info>\n");

    const QString MimeDir = XdgDataHome() + QStringLiteral("/mime");
    bool Changed = false;
    if (!WriteFileIfChanged(MimeDir + QStringLiteral("/packages/") + PackageName +
                                QStringLiteral(".xml"),
                            Xml.toUtf8(), &Changed))
        return false;
    // The desktop reads the compiled database, not the packages.
    if (Changed)
        RunHelperTool(QStringLiteral("update-mime-database"), {MimeDir}, MimeUpdateTimeoutMs);
    return true;
}

QString SystemMimeTypeForFileName(const QString& FileName, const QString& Except) {
    const QMimeDatabase Database;
    for (const QMimeType& Type : Database.mimeTypesForFileName(FileName))
        if (Type.name() != Except)
            return Type.name();
    return {};
}
