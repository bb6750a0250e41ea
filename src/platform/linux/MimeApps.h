// The user's MIME registrations: file-name patterns of new MIME types in
// $XDG_DATA_HOME/mime/packages, and the default applications in $XDG_CONFIG_HOME/mimeapps.list.
#pragma once

#include <QString>

// Makes DesktopId the default application of MimeType and lists it first among the added
// associations; other entries of the file stay as they are.
bool SetDefaultApplication(const QString& MimeType, const QString& DesktopId);

// Declares MimeType with Comment for the files matching Glob (case-insensitive) in the package
// <PackageName>.xml, as a kind of SubClassOf when that is not empty, and refreshes the MIME
// database where update-mime-database exists. Glob outweighs the system's patterns, so the
// pattern picks this type even for a name the system already knows.
bool RegisterMimeGlob(const QString& PackageName, const QString& MimeType, const QString& Comment,
                      const QString& Glob, const QString& SubClassOf);

// The type the system's MIME database gives a file name, ignoring Except; empty when unknown.
QString SystemMimeTypeForFileName(const QString& FileName, const QString& Except);
