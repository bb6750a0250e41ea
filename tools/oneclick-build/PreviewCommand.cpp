// oneclick-build preview: renders an installer's window, or one of its dialogs, offscreen to a
// PNG, branded from that installer's own pictures and configuration as its start-up would show
// it, without running any of start-up's actions (nothing is installed, reported or killed).
#include "Command.h"

#include "config/ConfigFile.h"
#include "platform/FileUtils.h"
#include "resources/Png.h"
#include "resources/Resources.h"
#include "base/Locations.h"
#include "base/RunningExe.h"
#include "ui/FrmCommInstLayout.h"
#include "ui/UntCheckIfInstalled.h"
#include "ui/UntConfirmbox.h"
#include "ui/UntMsgBox.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <memory>
#include <optional>
#include <png.h>

namespace {
const QString cnName = QStringLiteral("preview");
const QStringList cnPageNames = {"tbInstall",   "tbProcess",     "tbFinish",
                                 "tbUninstall", "tbUninProcess", "tbUninFinish"};

struct TOptions {
    QString Installer;
    QString Page;
    QString Dialog;
    bool Expanded = false;
    QString Output;
};

class TRefusal {
public:
    explicit TRefusal(QString message) : Message(std::move(message)) {}
    QString Message;
};

TOptions parseOptions(const QStringList& args) {
    TOptions options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw TRefusal(QStringLiteral("%1 needs a value").arg(arg));
            return args[++i];
        };
        if (arg == u"--page")
            options.Page = value();
        else if (arg == u"--dialog")
            options.Dialog = value();
        else if (arg == u"--expanded")
            options.Expanded = true;
        else if (arg == u"-o" || arg == u"--output")
            options.Output = value();
        else if (arg.startsWith(u'-') || !options.Installer.isEmpty())
            throw TRefusal(QStringLiteral("unknown argument \"%1\"").arg(arg));
        else
            options.Installer = arg;
    }
    if (!options.Page.isEmpty()) {
        // By the layout's name, with or without its "tb": "tbFinish", "finish".
        const auto known =
            std::find_if(cnPageNames.begin(), cnPageNames.end(), [&](const QString& N) {
                return N.compare(options.Page, Qt::CaseInsensitive) == 0 ||
                       N.mid(2).compare(options.Page, Qt::CaseInsensitive) == 0;
            });
        if (known == cnPageNames.end())
            throw TRefusal(QStringLiteral("no page \"%1\"; the pages are %2")
                               .arg(options.Page, cnPageNames.join(u", ")));
        options.Page = *known;
    }
    if (options.Installer.isEmpty() || options.Output.isEmpty())
        throw TRefusal(QStringLiteral("wants the installer and -o FILE.png"));
    if (!options.Dialog.isEmpty() &&
        !QStringList{"msg", "confirm", "reinstall"}.contains(options.Dialog))
        throw TRefusal(QStringLiteral("--dialog is msg, confirm or reinstall, not \"%1\"")
                           .arg(options.Dialog));
    if (!options.Dialog.isEmpty() && (!options.Page.isEmpty() || options.Expanded))
        throw TRefusal(QStringLiteral("--dialog goes without --page and --expanded"));
    const QFileInfo installer(options.Installer);
    if (!installer.isFile() || !installer.isReadable())
        throw TRefusal(QStringLiteral("cannot read installer \"%1\"").arg(options.Installer));
    return options;
}

// The configuration record as start-up builds it, in a throwaway environment: building it writes
// the channel to the per-product key, which must not land in the maker's own registry store.
std::unique_ptr<TConfigFile> readConfiguration(const QString& Text, bool InstallMode) {
    QTemporaryDir scratch;
    if (!scratch.isValid())
        throw TRefusal(QStringLiteral("cannot make a temporary folder"));
    const char* const names[] = {"HOME",           "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                 "XDG_CACHE_HOME", "TMPDIR",          "ONECLICK_SYSTEM_ROOT"};
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
    for (const char* name : names) {
        saved.emplace_back(name, qEnvironmentVariableIsSet(name)
                                     ? std::optional<QByteArray>(qgetenv(name))
                                     : std::nullopt);
        qputenv(name, QFile::encodeName(scratch.path() + u'/' + QString::fromLatin1(name)));
    }
    std::unique_ptr<TConfigFile> config;
    QString failure;
    try {
        config = std::make_unique<TConfigFile>(Text, InstallMode);
    } catch (const Exception& e) {
        failure = e.Message();
    }
    for (const auto& [name, value] : saved) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    if (!config)
        throw TRefusal(QStringLiteral("configuration refused: %1").arg(failure));
    return config;
}

// Start-up's branding of the window (pictures, texts, hidden tabs, placement), its page and
// height; no process is ended, no folder made, no report sent.
std::unique_ptr<QWidget> brandedWindow(const TOptions& Options) {
    if (!ResourceExists(QStringLiteral("configfile"), cnResTypeFile))
        throw TRefusal(QStringLiteral("the installer carries no configuration (it would show "
                                      "\"config data is empty\")"));
    const QString text = LoadTextResource(QStringLiteral("configfile"), cnResTypeFile);
    if (text.isEmpty())
        throw TRefusal(QStringLiteral("the installer's configuration is empty"));
    const bool installMode = GetExeFileName() != QStringLiteral("unin.exe");
    // The folder start-up proposes, from the maker's own environment but without creating it.
    const QString dataHome = XdgDataHome();
    const std::unique_ptr<TConfigFile> config = readConfiguration(text, installMode);

    auto form = std::make_unique<TFrmCommInstLayout>();
    form->SetCaption(QStringLiteral("Install"));
    form->resize(form->width(), TFrmCommInstLayout::cnCollapsedHeight);
    form->LoadBrandingImages();
    if (installMode) {
        form->cnMain->SetActivePage(form->tbInstall);
        form->edtPath->setText(NativePath(dataHome + u'/' + config->ProgramDirName));
    } else {
        form->cnMain->SetActivePage(form->tbUninstall);
    }
    form->ApplyConfigTexts(config->Title, config->Version, config->Description, config->BigTitle);
    form->HidePageTabs();
    form->ApplyStartupPlacement();
    if (!Options.Page.isEmpty())
        form->cnMain->SetActivePage(form->findChild<TTabSheet*>(Options.Page));
    if (Options.Expanded) {
        // As the custom-install toggle leaves it.
        form->imgDown->hide();
        form->imgUp->show();
        form->resize(form->width(), TFrmCommInstLayout::cnExpandedHeight);
    }
    return form;
}

std::unique_ptr<QWidget> dialog(const QString& Kind) {
    if (Kind == u"msg")
        return CreateForm<TFrmMsgBox>(
            QStringLiteral("安装失败，请联系官网客服协助处理。即将打开客服窗口！"));
    if (Kind == u"confirm")
        return CreateForm<TFrmConfirmbox>(QStringLiteral("您确定要退出安装程序吗?"), false);
    return CreateForm<TFrmCheckIfInstall>(
        QStringLiteral("检测到计算机中已存在此软件，是否为您更新到最新版本？"));
}

bool writePng(const QImage& Image, const QString& Path, QString& Error) {
    QFile file(Path);
    const QByteArray png = EncodePng(Image, PNG_COLOR_TYPE_RGB);
    if (file.open(QIODevice::WriteOnly) && file.write(png) == png.size() && file.flush())
        return true;
    Error = file.errorString();
    return false;
}

int runPreview(const QStringList& args) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QTextStream(stderr) << "oneclick-build " << cnName << ": needs a widget application\n";
        return ExitFailure;
    }
    TOptions options;
    try {
        options = parseOptions(args);
    } catch (const TRefusal& refusal) {
        return UsageError(cnName, refusal.Message);
    }
    SetRunningExePath(QFileInfo(options.Installer).absoluteFilePath());
    QImage picture;
    try {
        std::unique_ptr<QWidget> shown =
            options.Dialog.isEmpty() ? brandedWindow(options) : dialog(options.Dialog);
        shown->show();
        QCoreApplication::processEvents();
        picture = shown->grab().toImage();
    } catch (const TRefusal& refusal) {
        QTextStream(stderr) << "oneclick-build " << cnName << ": " << refusal.Message << '\n';
        return ExitFailure;
    } catch (const Exception& e) {
        QTextStream(stderr) << "oneclick-build " << cnName << ": " << e.Message() << '\n';
        return ExitFailure;
    }
    QString error;
    if (!writePng(picture, options.Output, error)) {
        QTextStream(stderr) << "oneclick-build " << cnName << ": cannot write " << options.Output
                            << ": " << error << '\n';
        return ExitFailure;
    }
    QTextStream(stdout) << options.Output << ": " << picture.width() << " x " << picture.height()
                        << '\n';
    return ExitOk;
}

const TCommandRegistrar cnRegistrar(
    {cnName,
     QStringLiteral("INSTALLER [--page NAME] [--dialog msg|confirm|reinstall] [--expanded] "
                    "-o FILE.png"),
     runPreview});
} // namespace
