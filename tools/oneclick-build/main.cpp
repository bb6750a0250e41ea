// oneclick-build: the maker's tool. Dispatches to the registered subcommands.
#include "Command.h"

#include <QApplication>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {
std::vector<TCommand>& commands() {
    static std::vector<TCommand> list;
    return list;
}

int printUsage(FILE* out, int code) {
    QTextStream stream(out);
    stream << "usage: oneclick-build <command> ...\n";
    auto sorted = commands();
    std::sort(sorted.begin(), sorted.end(),
              [](const TCommand& a, const TCommand& b) { return a.Name < b.Name; });
    for (const TCommand& command : sorted)
        stream << "  oneclick-build " << command.Name << ' ' << command.Usage << '\n';
    return code;
}
} // namespace

TCommandRegistrar::TCommandRegistrar(TCommand command) {
    commands().push_back(std::move(command));
}

const std::vector<TCommand>& RegisteredCommands() {
    return commands();
}

int UsageError(const QString& command, const QString& message) {
    QTextStream(stderr) << "oneclick-build " << command << ": " << message << '\n';
    return ExitUsage;
}

int main(int argc, char** argv) {
    // Rendering a window needs a widget application; it draws offscreen, display or not.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "preview") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QStringList args = app->arguments().mid(1);
    if (args.isEmpty())
        return printUsage(stderr, ExitUsage);
    const QString name = args.takeFirst();
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h"))
        return printUsage(stdout, ExitOk);
    for (const TCommand& command : commands())
        if (command.Name == name)
            return command.Run(args);
    QTextStream(stderr) << "oneclick-build: unknown command \"" << name << "\"\n";
    return printUsage(stderr, ExitUsage);
}
