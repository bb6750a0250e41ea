// The registry entries of the installed product, written to the registry store exactly as the
// system keeps them, each followed by its desktop counterpart (RegIntegrationShell.h).
#include "platform/RegIntegration.h"

#include "config/RegistryStrings.h"
#include "config/TextUtils.h"
#include "platform/RegIntegrationShell.h"
#include "platform/Shortcuts.h"
#include "registry/Registry.h"

namespace {

std::function<void(int)>& errorCodeHandler() {
    static std::function<void(int)> Handler;
    return Handler;
}

void showErrorCode(int ErrorCode) {
    if (errorCodeHandler())
        errorCodeHandler()(ErrorCode);
}

QString quoted(const QString& Text) {
    return u'"' + Text + u'"';
}

QString uninstallEntryPath(const QString& SoftId) {
    return UninstallKeyPath + u'\\' + SoftId;
}

// View 2 is the 64-bit view; there is one view in the store, but the access mask says which.
LONG RegCreateKeyInView(int View, HKEY Root, const QString& KeyPath, REGSAM Access, HKEY* Key) {
    if (View == 2)
        Access |= KEY_WOW64_64KEY;
    return RegCreateKeyExW(Root, KeyPath, Access, Key);
}

void RegSetText(HKEY Key, const QString& ValueName, const QString& Text) {
    const LONG Result = RegSetValueExW(Key, ValueName, REG_SZ, RegStringData(Text));
    if (Result != ERROR_SUCCESS)
        showErrorCode(Result);
}

void RegSetTextIfAny(HKEY Key, const QString& ValueName, const QString& Text) {
    if (!Text.isEmpty())
        RegSetText(Key, ValueName, Text);
}

// True when the value exists as a string holding exactly Text (case-sensitive). A value of
// another type counts as different, so it gets replaced.
bool holdsText(HKEY Key, const QString& ValueName, const QString& Text) {
    DWORD Type = REG_NONE;
    QByteArray Data;
    return RegQueryValueExW(Key, ValueName, &Type, &Data) == ERROR_SUCCESS &&
           (Type == REG_SZ || Type == REG_EXPAND_SZ) && RegDataToString(Data) == Text;
}

// The writes whose refusal the caller sees.
void writeTextOrRaise(HKEY Key, const QString& ValueName, const QString& Text) {
    const LONG Result = RegSetValueExW(Key, ValueName, REG_SZ, RegStringData(Text));
    if (Result != ERROR_SUCCESS)
        throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(ValueName),
                                 Result);
}

// Opens (creating) KeyPath below Root; throws inside the guarded operations.
TRegKey createKeyOrRaise(HKEY Root, const QString& KeyPath) {
    TRegKey Key;
    const LONG Result = RegCreateKeyExW(Root, KeyPath, KEY_ALL_ACCESS, Key.out());
    if (Result != ERROR_SUCCESS)
        throw ERegistryException(QStringLiteral("Failed to create key %1").arg(KeyPath), Result);
    return Key;
}

} // namespace

void SetShowErrorCodeHandler(std::function<void(int ErrorCode)> Handler) {
    errorCodeHandler() = std::move(Handler);
}

void WriteUninstallEntry(const QString& SoftId, const QString& DisplayName,
                         const QString& ProgramPath, const QString& InstallDir,
                         const QString& Version, const QString& Publisher) {
    // Without an id the values would land on the Uninstall key itself.
    if (SoftId.isEmpty())
        return;
    TRegKey Key;
    const LONG Result = RegCreateKeyInView(1, HKEY_LOCAL_MACHINE, uninstallEntryPath(SoftId),
                                           KEY_SET_VALUE, Key.out());
    if (Result != ERROR_SUCCESS)
        showErrorCode(Result);
    // With no key each write fails and shows its own number, as the system does.
    RegSetText(Key.get(), QStringLiteral("DisplayName"), DisplayName);
    RegSetTextIfAny(Key.get(), QStringLiteral("DisplayIcon"), quoted(ProgramPath));
    RegSetText(Key.get(), QStringLiteral("UninstallString"),
               InstallDir + QStringLiteral("\\unin.exe"));
    RegSetTextIfAny(Key.get(), QStringLiteral("DisplayVersion"), Version);
    RegSetTextIfAny(Key.get(), QStringLiteral("Publisher"), Publisher);
    RegSetTextIfAny(Key.get(), QStringLiteral("ExePath"), quoted(ProgramPath));
}

void DeleteUninstallEntry(const QString& SoftId) {
    // An empty id would name the Uninstall key itself and empty it of every product.
    if (SoftId.isEmpty())
        return;
    TRegKey Uninstall;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKeyPath, KEY_ALL_ACCESS, Uninstall.out()) ==
        ERROR_SUCCESS)
        RegDeleteTreeW(Uninstall.get(), SoftId);
}

QString GetInstalledIcon(const QString& SoftId) {
    return ReplaceAll(RegReadString(HKEY_LOCAL_MACHINE, uninstallEntryPath(SoftId),
                                    QStringLiteral("DisplayIcon")),
                      QStringLiteral("\""), QString(), true);
}

QString GetInstalledVersion(const QString& SoftId) {
    return RegReadString(HKEY_LOCAL_MACHINE, uninstallEntryPath(SoftId),
                         QStringLiteral("DisplayVersion"));
}

void RegisterUrlProtocol(const QString& KeyName, const QString& Description,
                         const QString& ProgramPath) {
    // An empty name would open the classes root itself.
    if (KeyName.isEmpty())
        return;
    TRegKey Protocol;
    if (RegCreateKeyInView(2, HKEY_CLASSES_ROOT, KeyName, KEY_ALL_ACCESS, Protocol.out()) !=
        ERROR_SUCCESS)
        return;
    writeTextOrRaise(Protocol.get(), QString(), Description);
    writeTextOrRaise(Protocol.get(), QStringLiteral("URL Protocol"), ProgramPath);

    const QString Command = quoted(ProgramPath) + u' ' + quoted(QStringLiteral("%1"));
    TRegKey CommandKey;
    if (RegCreateKeyInView(2, Protocol.get(), QStringLiteral("shell\\open\\command"),
                           KEY_ALL_ACCESS, CommandKey.out()) != ERROR_SUCCESS)
        return;
    bool Changed = false;
    if (!holdsText(CommandKey.get(), QString(), Command)) {
        writeTextOrRaise(CommandKey.get(), QString(), Command);
        Changed = true;
    }
    ShellRegisterUrlProtocol(KeyName, Description, ProgramPath);
    if (Changed)
        NotifyShellChanged();
}

void AssociateFileExt(const QString& Extension, const QString& ProgId, const QString& Description,
                      const QString& ProgramPath, const QString& Parameters) {
    // An empty extension or id would name the classes root itself.
    if (Extension.isEmpty() || ProgId.isEmpty())
        return;
    try {
        writeTextOrRaise(createKeyOrRaise(HKEY_CLASSES_ROOT, Extension).get(), QString(), ProgId);
        writeTextOrRaise(createKeyOrRaise(HKEY_CLASSES_ROOT, ProgId).get(), QString(), Description);
        // The per-user classes, which take precedence over the machine's.
        writeTextOrRaise(
            createKeyOrRaise(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\Classes\\") + Extension)
                .get(),
            QString(), ProgId);
        // The open command goes where the shell looks for it, as with the URL protocol.
        const QString Command =
            Parameters.isEmpty()
                ? quoted(ProgramPath) + u' ' + quoted(QStringLiteral("%1"))
                : quoted(ProgramPath) + u' ' + Parameters + u' ' + quoted(QStringLiteral("%1"));
        writeTextOrRaise(
            createKeyOrRaise(HKEY_CLASSES_ROOT, ProgId + QStringLiteral("\\shell\\open\\command"))
                .get(),
            QString(), Command);

        TRegKey Choice = createKeyOrRaise(
            HKEY_CURRENT_USER,
            QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\") +
                Extension + QStringLiteral("\\UserChoice"));
        bool Changed = false;
        if (!holdsText(Choice.get(), QStringLiteral("Progid"), ProgId)) {
            writeTextOrRaise(Choice.get(), QStringLiteral("Progid"), ProgId);
            Changed = true;
        }
        ShellAssociateFileExt(Extension, ProgId, Description, ProgramPath, Parameters);
        if (Changed)
            NotifyShellChanged();
    } catch (const std::exception&) {
        // Association failures are never reported.
    }
}

void SetRunAtStartup(const QString& ValueName, bool Enable, const QString& ProgramPath) {
    // The unnamed value is not a start-up entry.
    if (ValueName.isEmpty())
        return;
    try {
        TRegKey Run = createKeyOrRaise(HKEY_CURRENT_USER, RunKeyPath);
        if (Enable) {
            if (!holdsText(Run.get(), ValueName, quoted(ProgramPath)))
                writeTextOrRaise(Run.get(), ValueName, quoted(ProgramPath));
        } else if (RegQueryValueExW(Run.get(), ValueName, nullptr, nullptr) == ERROR_SUCCESS) {
            RegDeleteValueW(Run.get(), ValueName);
        }
        ShellSetRunAtStartup(ValueName, Enable, ProgramPath);
    } catch (const std::exception&) {
        // Start-up entry failures are never reported.
    }
}
