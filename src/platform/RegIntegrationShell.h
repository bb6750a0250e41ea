// The desktop side of the registry integration. On Windows the registry entries are the effect
// themselves; elsewhere these calls give the URL protocol, the file association and the
// start-up value their effect on the desktop. Paths may use '\' as a separator.
#pragma once

#include <QString>

// A handler of Scheme URLs (desktop entry with x-scheme-handler/<scheme>) made the default.
void ShellRegisterUrlProtocol(const QString& Scheme, const QString& Description,
                              const QString& ProgramPath);
// A MIME type for the files ending in Extension and a handler of it made the default.
void ShellAssociateFileExt(const QString& Extension, const QString& ProgId,
                           const QString& Description, const QString& ProgramPath,
                           const QString& Parameters);
// The autostart entry Name: written for Enable, removed otherwise.
void ShellSetRunAtStartup(const QString& Name, bool Enable, const QString& ProgramPath);
