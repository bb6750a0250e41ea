// oneclick-build installer: a product's single-file installer, made of a copy of the program
// and a resource container holding the configuration, pictures, package and base URLs.
// Everything is checked before anything is written, so a refused build leaves no file.
#include "Command.h"

#include "resources/Png.h"
#include "resources/ResourceContainer.h"
#include "resources/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <nlohmann/json.hpp>
#include <vector>

namespace {
const QString cnName = QStringLiteral("installer");

// The pictures the installer and its dialogs decode; each must be a PNG.
const QStringList cnPictureNames = {
    "bgpic",        "logo",         "minilogo",         "btninst01",      "btninst02",
    "btninst03",    "msgbox",       "icon_ques",        "icon_warn",      "btn_msg_normal",
    "btn_msg_over", "btn_msg_down", "btn_empty_normal", "btn_empty_over", "btn_empty_down"};

struct TResourceSource {
    QString Name;
    QString File;
};

struct TOptions {
    QString Program;
    QString Config;
    QString Package;
    QString ServiceUrl;
    QString SupportUrl;
    QString Output;
    std::vector<TResourceSource> Resources;
};

class TRefusal {
public:
    explicit TRefusal(QString message) : Message(std::move(message)) {}
    QString Message;
};

bool isPicture(const TResourceSource& res) {
    return cnPictureNames.contains(res.Name, Qt::CaseInsensitive) ||
           res.File.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

TOptions parseOptions(const QStringList& args) {
    TOptions options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (i + 1 >= args.size())
            throw TRefusal(QStringLiteral("%1 needs a value").arg(arg));
        const QString value = args[++i];
        if (arg == "--program")
            options.Program = value;
        else if (arg == "--config")
            options.Config = value;
        else if (arg == "--package")
            options.Package = value;
        else if (arg == "--service-url")
            options.ServiceUrl = value;
        else if (arg == "--support-url")
            options.SupportUrl = value;
        else if (arg == "-o" || arg == "--output")
            options.Output = value;
        else if (arg == "--resource") {
            const qsizetype eq = value.indexOf(u'=');
            if (eq <= 0 || eq == value.size() - 1)
                throw TRefusal(QStringLiteral("--resource wants NAME=FILE, not \"%1\"").arg(value));
            options.Resources.push_back({value.left(eq), value.mid(eq + 1)});
        } else if (arg == "--resource-dir") {
            // Every picture of the folder, named after its file: resources/bgpic.png is "bgpic".
            const QDir dir(value);
            if (!dir.exists())
                throw TRefusal(QStringLiteral("cannot read folder \"%1\"").arg(value));
            for (const QFileInfo& file :
                 dir.entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
                options.Resources.push_back({file.completeBaseName(), file.filePath()});
        } else
            throw TRefusal(QStringLiteral("unknown option \"%1\"").arg(arg));
    }
    if (options.Program.isEmpty() || options.Config.isEmpty() || options.Output.isEmpty())
        throw TRefusal(QStringLiteral("--program, --config and -o are required"));
    return options;
}

QByteArray readWhole(const QString& path, const QString& what) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || QFileInfo(path).isDir())
        throw TRefusal(
            QStringLiteral("cannot read %1 \"%2\": %3").arg(what, path, file.errorString()));
    if (file.size() > MaxInMemoryResource)
        throw TRefusal(QStringLiteral("%1 \"%2\" is too large").arg(what, path));
    return file.readAll();
}

// The first bytes of a file that is checked for readability, not read whole.
QByteArray readHead(const QString& path, const QString& what) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || QFileInfo(path).isDir())
        throw TRefusal(
            QStringLiteral("cannot read %1 \"%2\": %3").arg(what, path, file.errorString()));
    return file.read(4);
}

void checkUrl(const QString& url, const QString& what) {
    if (!url.isEmpty() && !url.startsWith(QStringLiteral("http://")) &&
        !url.startsWith(QStringLiteral("https://")))
        throw TRefusal(QStringLiteral("%1 \"%2\" is not an http or https address").arg(what, url));
}

void checkInputs(const TOptions& options) {
    readHead(options.Program, QStringLiteral("program"));
    const QByteArray config = readWhole(options.Config, QStringLiteral("configuration"));
    const auto document = nlohmann::json::parse(config.constData(),
                                                config.constData() + config.size(), nullptr, false);
    if (document.is_discarded() || !document.is_object())
        throw TRefusal(
            QStringLiteral("configuration \"%1\" is not a JSON object").arg(options.Config));
    QStringList names = {"configfile"};
    for (const TResourceSource& res : options.Resources) {
        if (names.contains(res.Name, Qt::CaseInsensitive))
            throw TRefusal(QStringLiteral("resource \"%1\" given twice").arg(res.Name));
        names.append(res.Name);
        if (!isPicture(res)) {
            readHead(res.File, QStringLiteral("resource file"));
            continue;
        }
        try {
            DecodePng(readWhole(res.File, QStringLiteral("picture")));
        } catch (const EPngError& e) {
            throw TRefusal(QStringLiteral("picture \"%1\" (%2) is not a PNG: %3")
                               .arg(res.File, res.Name, e.Message()));
        }
    }
    for (const char* own : {"zipfile", "serviceurl", "supporturl"})
        if (names.contains(own, Qt::CaseInsensitive))
            throw TRefusal(QStringLiteral("resource \"%1\" is set by its own option").arg(own));
    if (!options.Package.isEmpty()) {
        const QByteArray head = readHead(options.Package, QStringLiteral("package"));
        if (head != QByteArray("PK\x03\x04", 4) && head != QByteArray("PK\x05\x06", 4))
            throw TRefusal(
                QStringLiteral("package \"%1\" is not a zip archive").arg(options.Package));
    }
    checkUrl(options.ServiceUrl, QStringLiteral("service URL"));
    checkUrl(options.SupportUrl, QStringLiteral("support URL"));
}

int runInstaller(const QStringList& args) {
    TOptions options;
    try {
        options = parseOptions(args);
        checkInputs(options);
    } catch (const TRefusal& refusal) {
        return UsageError(cnName, refusal.Message);
    }
    int count = 0;
    try {
        TResourceWriter writer(options.Program, options.Output);
        writer.AddFile(QStringLiteral("configfile"), cnResTypeFile, options.Config);
        for (const TResourceSource& res : options.Resources)
            writer.AddFile(res.Name, cnResTypeFile, res.File);
        count = 1 + int(options.Resources.size());
        if (!options.Package.isEmpty()) {
            writer.AddFile(QStringLiteral("zipfile"), cnResTypeFile, options.Package);
            ++count;
        }
        for (const auto& [name, url] :
             {std::pair{QStringLiteral("serviceurl"), options.ServiceUrl},
              std::pair{QStringLiteral("supporturl"), options.SupportUrl}})
            if (!url.isEmpty()) {
                writer.AddBytes(name, cnResTypeFile, url.toUtf8());
                ++count;
            }
        writer.Finish();
    } catch (const Exception& e) {
        QTextStream(stderr) << "oneclick-build " << cnName << ": " << e.Message() << '\n';
        return ExitFailure;
    }
    QFile::setPermissions(options.Output, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther);
    QTextStream(stdout) << options.Output << ": " << count << " resources\n";
    return ExitOk;
}

const TCommandRegistrar cnRegistrar(
    {cnName,
     QStringLiteral("--program PATH --config FILE [--resource NAME=FILE]... [--resource-dir DIR] "
                    "[--package ZIP] [--service-url URL] [--support-url URL] -o OUT"),
     runInstaller});
} // namespace
