// The subcommands of oneclick-build. Each lives in its own file and registers itself with a
// static TCommandRegistrar, so adding one touches nothing else.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Exit codes shared by every subcommand.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct TCommand {
    QString Name;
    QString Usage; // one line: the arguments after the name
    std::function<int(const QStringList& args)> Run; // args exclude the subcommand's name
};

class TCommandRegistrar {
public:
    explicit TCommandRegistrar(TCommand command);
};

const std::vector<TCommand>& RegisteredCommands();

// Prints "oneclick-build <name>: <message>" on stderr and returns ExitUsage.
int UsageError(const QString& command, const QString& message);
