// oneclick-reg: reads and changes the registry store from a shell, through the same calls and
// the same database files as the installer, so people and tests can see what it wrote.
#include "registry/Registry.h"

#include <QRegularExpression>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitMissing = 1;
constexpr int ExitUsage = 2;
constexpr int ExitFailed = 3;

const char* const UsageText =
    "usage: oneclick-reg query KEY [VALUE]\n"
    "       oneclick-reg set KEY VALUE TYPE DATA\n"
    "       oneclick-reg delete KEY [VALUE]\n"
    "       oneclick-reg export [KEY]\n"
    "KEY starts with its root: HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM) or\n"
    "HKEY_CLASSES_ROOT (HKCR), as in HKCU\\Software\\Demo. VALUE \"\" is the default value.\n"
    "TYPE is REG_SZ, REG_EXPAND_SZ, REG_DWORD (DATA decimal or 0x hex) or REG_BINARY (DATA hex\n"
    "digits). delete without VALUE removes the key with everything below it.\n"
    "Exit status: 0 done, 1 key or value missing, 2 usage error, 3 the store failed.\n";

// Ends the command: thrown by the helpers, turned into the message and exit status by main.
struct TExit {
    int Code;
    QString Message;
};

[[noreturn]] void Exit(int code, const QString& message) {
    throw TExit{code, message};
}

[[noreturn]] void Usage(const QString& message) {
    Exit(ExitUsage, message);
}

void Print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// A not-found answer is the user's missing key or value; anything else is the store's fault.
void Check(LONG rc, const QString& what) {
    if (rc == ERROR_FILE_NOT_FOUND)
        Exit(ExitMissing, what + QStringLiteral(" not found"));
    if (rc != ERROR_SUCCESS)
        Exit(ExitFailed,
             QStringLiteral("%1: %2 (error %3)").arg(what, RegErrorMessage(rc)).arg(rc));
}

struct TKeyName {
    HKEY Root;
    QString RootName; // the long form, for output
    QString Path;     // below the root, without leading or doubled separators

    QString Full() const { return Path.isEmpty() ? RootName : RootName + u'\\' + Path; }
    QString Child(const QString& name) const { return Full() + u'\\' + name; }
};

TKeyName ParseKey(const QString& text) {
    static const struct {
        const char* Long;
        const char* Short;
        HKEY Key;
    } roots[] = {{"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
                 {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
                 {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE}};
    const QStringList parts = text.split(u'\\', Qt::SkipEmptyParts);
    const QString root = parts.value(0);
    for (const auto& r : roots)
        if (root.compare(QLatin1String(r.Long), Qt::CaseInsensitive) == 0 ||
            root.compare(QLatin1String(r.Short), Qt::CaseInsensitive) == 0)
            return {r.Key, QString::fromLatin1(r.Long), parts.mid(1).join(u'\\')};
    Usage(QStringLiteral("\"%1\" does not start with HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or "
                         "HKEY_CLASSES_ROOT")
              .arg(text));
}

QString TypeName(DWORD type) {
    switch (type) {
    case REG_NONE:
        return QStringLiteral("REG_NONE");
    case REG_SZ:
        return QStringLiteral("REG_SZ");
    case REG_EXPAND_SZ:
        return QStringLiteral("REG_EXPAND_SZ");
    case REG_BINARY:
        return QStringLiteral("REG_BINARY");
    case REG_DWORD:
        return QStringLiteral("REG_DWORD");
    case REG_MULTI_SZ:
        return QStringLiteral("REG_MULTI_SZ");
    case REG_QWORD:
        return QStringLiteral("REG_QWORD");
    default:
        return QStringLiteral("REG_0x%1").arg(type, 0, 16);
    }
}

// Data as a person reads it; the strings of a REG_MULTI_SZ are joined by Separator.
QString FormatData(DWORD type, const QByteArray& data, const QString& separator) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return RegDataToString(data);
    case REG_DWORD:
        return QString::number(RegDataToDword(data));
    case REG_QWORD:
        return QString::number(RegDataToQword(data));
    case REG_MULTI_SZ:
        return RegDataToMultiString(data).join(separator);
    default:
        return QString::fromLatin1(data.toHex());
    }
}

std::pair<DWORD, QByteArray> ParseData(const QString& typeName, const QString& text) {
    const QString type = typeName.toUpper();
    if (type == QStringLiteral("REG_SZ") || type == QStringLiteral("REG_EXPAND_SZ"))
        return {type == QStringLiteral("REG_SZ") ? REG_SZ : REG_EXPAND_SZ, RegStringData(text)};
    if (type == QStringLiteral("REG_DWORD")) {
        static const QRegularExpression number(
            QStringLiteral("^(0[xX][0-9a-fA-F]{1,8}|[0-9]{1,10})$"));
        bool ok = false;
        const qulonglong value = number.match(text).hasMatch() ? text.toULongLong(&ok, 0) : 0;
        if (!ok || value > 0xFFFFFFFFULL)
            Usage(QStringLiteral("\"%1\" is not a 32-bit number").arg(text));
        return {REG_DWORD, RegDwordData(DWORD(value))};
    }
    if (type == QStringLiteral("REG_BINARY")) {
        static const QRegularExpression hex(QStringLiteral("^([0-9a-fA-F]{2})*$"));
        if (!hex.match(text).hasMatch())
            Usage(QStringLiteral("\"%1\" is not an even number of hex digits").arg(text));
        return {REG_BINARY, QByteArray::fromHex(text.toLatin1())};
    }
    Usage(QStringLiteral("unknown type \"%1\"").arg(typeName));
}

TRegKey OpenKey(const TKeyName& name, REGSAM access) {
    TRegKey key;
    Check(RegOpenKeyExW(name.Root, name.Path, access, key.out()), name.Full());
    return key;
}

QStringList Names(HKEY key, bool subkeys, const QString& what) {
    QStringList names;
    Check(subkeys ? RegEnumKeys(key, &names) : RegEnumValues(key, &names), what);
    return names;
}

int Query(const QStringList& args) {
    if (args.size() < 1 || args.size() > 2)
        Usage(QStringLiteral("query takes KEY [VALUE]"));
    const TKeyName name = ParseKey(args[0]);
    TRegKey key = OpenKey(name, KEY_READ);
    if (args.size() == 2) {
        DWORD type = REG_NONE;
        QByteArray data;
        Check(RegQueryValueExW(key.get(), args[1], &type, &data),
              QStringLiteral("value \"%1\" of %2").arg(args[1], name.Full()));
        Print(FormatData(type, data, QStringLiteral("\n")) + u'\n');
        return ExitOk;
    }
    QString text = name.Full() + u'\n';
    for (const QString& value : Names(key.get(), false, name.Full())) {
        DWORD type = REG_NONE;
        QByteArray data;
        // A value removed by someone else meanwhile is simply not listed.
        if (RegQueryValueExW(key.get(), value, &type, &data) != ERROR_SUCCESS)
            continue;
        text += QStringLiteral("    %1    %2    %3\n")
                    .arg(value.isEmpty() ? QStringLiteral("(Default)") : value, TypeName(type),
                         FormatData(type, data, QStringLiteral("\\0")));
    }
    const QStringList subkeys = Names(key.get(), true, name.Full());
    if (!subkeys.isEmpty())
        text += u'\n';
    for (const QString& subkey : subkeys)
        text += name.Child(subkey) + u'\n';
    Print(text);
    return ExitOk;
}

int Set(const QStringList& args) {
    if (args.size() != 4)
        Usage(QStringLiteral("set takes KEY VALUE TYPE DATA"));
    const TKeyName name = ParseKey(args[0]);
    const auto [type, data] = ParseData(args[2], args[3]);
    TRegKey key;
    Check(RegCreateKeyExW(name.Root, name.Path, KEY_ALL_ACCESS, key.out()), name.Full());
    Check(RegSetValueExW(key.get(), args[1], type, data),
          QStringLiteral("value \"%1\" of %2").arg(args[1], name.Full()));
    return ExitOk;
}

int Delete(const QStringList& args) {
    if (args.size() < 1 || args.size() > 2)
        Usage(QStringLiteral("delete takes KEY [VALUE]"));
    const TKeyName name = ParseKey(args[0]);
    if (args.size() == 2) {
        TRegKey key = OpenKey(name, KEY_ALL_ACCESS);
        Check(RegDeleteValueW(key.get(), args[1]),
              QStringLiteral("value \"%1\" of %2").arg(args[1], name.Full()));
        return ExitOk;
    }
    if (name.Path.isEmpty())
        Usage(QStringLiteral("a root key cannot be deleted"));
    Check(RegDeleteTreeW(name.Root, name.Path), name.Full());
    return ExitOk;
}

// The .reg text form: quoted strings where the data is a plain string, hex bytes otherwise.
QString RegQuoted(QString text) {
    text.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + text + u'"';
}

QString RegHex(const QString& prefix, const QByteArray& data) {
    QString text = prefix;
    qsizetype lineLength = text.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        text += QString::fromLatin1(data.mid(i, 1).toHex());
        lineLength += 2;
        if (i + 1 < data.size()) {
            text += u',';
            // Long data continues on the next line, as .reg files wrap it.
            if (++lineLength > 76) {
                text += QStringLiteral("\\\n  ");
                lineLength = 2;
            }
        }
    }
    return text;
}

QString ExportValue(const QString& name, DWORD type, const QByteArray& data) {
    QString line = name.isEmpty() ? QStringLiteral("@=") : RegQuoted(name) + u'=';
    const QString text = RegDataToString(data);
    const bool plainString = type == REG_SZ && data == RegStringData(text) &&
                             !text.contains(u'\n') && !text.contains(u'\r');
    if (plainString)
        return line + RegQuoted(text);
    if (type == REG_DWORD && data.size() == 4)
        return line + QStringLiteral("dword:%1").arg(RegDataToDword(data), 8, 16, QChar(u'0'));
    if (type == REG_BINARY)
        return line + RegHex(QStringLiteral("hex:"), data);
    return line + RegHex(QStringLiteral("hex(%1):").arg(type, 0, 16), data);
}

void ExportTree(const TKeyName& start) {
    struct TPending {
        QString Name;
        TRegKey Key;
    };
    std::vector<TPending> pending;
    pending.push_back({start.Full(), OpenKey(start, KEY_READ)});
    while (!pending.empty()) {
        TPending current = std::move(pending.back());
        pending.pop_back();
        QString text = u'[' + current.Name + QStringLiteral("]\n");
        for (const QString& value : Names(current.Key.get(), false, current.Name)) {
            DWORD type = REG_NONE;
            QByteArray data;
            if (RegQueryValueExW(current.Key.get(), value, &type, &data) == ERROR_SUCCESS)
                text += ExportValue(value, type, data) + u'\n';
        }
        Print(text + u'\n');
        // Children go on the stack last first, so they come out in creation order.
        const QStringList subkeys = Names(current.Key.get(), true, current.Name);
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it) {
            TRegKey child;
            // A key removed by someone else meanwhile is passed over.
            if (RegOpenKeyExW(current.Key.get(), *it, KEY_READ, child.out()) == ERROR_SUCCESS)
                pending.push_back({current.Name + u'\\' + *it, std::move(child)});
        }
    }
}

int Export(const QStringList& args) {
    if (args.size() > 1)
        Usage(QStringLiteral("export takes [KEY]"));
    std::vector<TKeyName> starts;
    if (args.isEmpty()) {
        for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"})
            starts.push_back(ParseKey(QString::fromLatin1(root)));
    } else {
        starts.push_back(ParseKey(args[0]));
    }
    // Open the first key before printing anything, so a missing key prints nothing.
    OpenKey(starts.front(), KEY_READ);
    Print(QStringLiteral("Windows Registry Editor Version 5.00\n\n"));
    for (const TKeyName& start : starts)
        ExportTree(start);
    return ExitOk;
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h")) {
        std::fputs(UsageText, stdout);
        return ExitOk;
    }
    try {
        if (command == QStringLiteral("query"))
            return Query(args);
        if (command == QStringLiteral("set"))
            return Set(args);
        if (command == QStringLiteral("delete"))
            return Delete(args);
        if (command == QStringLiteral("export"))
            return Export(args);
        Usage(command.isEmpty() ? QStringLiteral("no command given")
                                : QStringLiteral("unknown command \"%1\"").arg(command));
    } catch (const TExit& exit) {
        std::fflush(stdout);
        std::fprintf(stderr, "oneclick-reg: %s\n", exit.Message.toUtf8().constData());
        if (exit.Code == ExitUsage)
            std::fputs("oneclick-reg --help shows the usage.\n", stderr);
        return exit.Code;
    }
}
