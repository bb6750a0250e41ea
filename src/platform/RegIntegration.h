// The registry entries through which the system knows the installed product: the uninstall
// entry, the URL protocol, file associations and the per-user start-up value. Each is written to
// the registry store as Windows keeps it and also made real on the desktop (RegIntegrationShell.h).
#pragma once

#include <QString>
#include <functional>

// HKEY_LOCAL_MACHINE\ this + SoftId holds the uninstall entry.
inline const QString UninstallKeyPath =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
inline const QString RunKeyPath =
    QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");

void WriteUninstallEntry(const QString& SoftId, const QString& DisplayName,
                         const QString& ProgramPath, const QString& InstallDir,
                         const QString& Version, const QString& Publisher);
void DeleteUninstallEntry(const QString& SoftId);
// "DisplayIcon" without its double quotes; empty when absent. Raises ERegistryException for a
// value of a non-string type.
QString GetInstalledIcon(const QString& SoftId);
// "DisplayVersion"; empty when absent.
QString GetInstalledVersion(const QString& SoftId);

// A refused write raises ERegistryException.
void RegisterUrlProtocol(const QString& KeyName, const QString& Description,
                         const QString& ProgramPath);
// Never reports anything.
void AssociateFileExt(const QString& Extension, const QString& ProgId, const QString& Description,
                      const QString& ProgramPath, const QString& Parameters);
// Enable writes the quoted program path as the value ValueName of the Run key; disable deletes
// it. Never reports anything.
void SetRunAtStartup(const QString& ValueName, bool Enable, const QString& ProgramPath);

// Who shows the error number of a failed uninstall-entry write (the window framework fills it
// in); by default nothing is shown. An empty handler restores the default.
void SetShowErrorCodeHandler(std::function<void(int ErrorCode)> Handler);
