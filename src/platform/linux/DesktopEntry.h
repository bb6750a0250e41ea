// Freedesktop desktop entries: the one place that knows their format and quoting, shared by the
// shortcuts, the URL protocol, the file associations and the autostart entry. Also the small
// runner for the desktop's helper tools (xdg-user-dir, update-*-database, systemctl).
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct TDesktopEntry {
    QString Name;
    QStringList Command; // program and arguments, unquoted
    QString FieldCode;   // "%u" or "%f", appended to Exec as it stands; empty for none
    QString Path;        // working directory
    QString Icon;
    QStringList MimeTypes;
    bool NoDisplay = false;
    QList<QPair<QString, QString>> Extra; // further keys, written in this order
};

// Exec quoting: an argument with a reserved character goes in double quotes, with the double
// quote, backquote, dollar and backslash escaped; "%" is doubled so it is never a field code.
QString QuoteExecArgument(const QString& Argument);
// The escapes of a string value (\\, \n, \t, \r, a leading \s); other control characters dropped.
QString EscapeDesktopValue(const QString& Value);
QString DesktopEntryText(const TDesktopEntry& Entry);

// Writes the entry (atomically, creating the folder) unless the file already holds exactly this
// text. Executable entries get mode 0755 so desktops run them. True when the file holds the
// entry afterwards; Changed tells whether it had to be written.
bool WriteDesktopEntry(const QString& FilePath, const TDesktopEntry& Entry, bool Executable,
                       bool* Changed = nullptr);
// The same for any small text file.
bool WriteFileIfChanged(const QString& FilePath, const QByteArray& Data, bool* Changed = nullptr);

// The values of a list key ("MimeType") in an existing entry; empty when there is none.
QStringList ReadDesktopEntryList(const QString& FilePath, const QString& Key);

// A file-name stem made of letters, digits, '-', '_' and '.'; anything else becomes '_'.
QString DesktopFileStem(const QString& Text);

// A path as the installer forms it, '\' read as a separator (NativePath), with doubled
// separators and dot segments cleaned away: "/opt/App\\bin\a.exe" gives "/opt/App/bin/a.exe".
QString CleanNativePath(const QString& Path);
// True when Path lies strictly inside Folder (both native, cleaned).
bool IsInsideFolder(const QString& Path, const QString& Folder);

// Runs a helper tool found on PATH and waits at most TimeoutMs; false when it is missing,
// cannot start, overruns (it is killed) or exits with a non-zero code. Standard output goes to
// Output when given.
bool RunHelperTool(const QString& Program, const QStringList& Arguments, int TimeoutMs,
                   QByteArray* Output = nullptr, int* ExitCode = nullptr);
// Starts a helper tool found on PATH without waiting for it; a missing tool is skipped.
void StartHelperTool(const QString& Program, const QStringList& Arguments);
