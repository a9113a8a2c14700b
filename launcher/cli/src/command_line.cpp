// Parsing the command line from the tables of commands and options, and
// running the one command given.
#include "cli/command_line.h"

#include "commands.h"
#include "core/launcher_session.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace {

using cli::Command;
using cli::CommandOption;

QCommandLineOption optionFor(const QString& name, const QString& valueName, const QString& description)
{
    return valueName.isEmpty() ? QCommandLineOption(name, description)
                               : QCommandLineOption(name, description, valueName);
}

QString dashed(const QString& name)
{
    return QStringLiteral("--") + name;
}

// A usage error: the message, a pointer to --help, exit status 2.
CommandLineOutcome usageError(QTextStream& err, const QString& message)
{
    err << message << '\n'
        << QStringLiteral("Run %1 --help for the options.").arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
        << '\n';
    return {kExitUsage, {}};
}

// An option given without the command it goes with (commandName: the one
// command given, or "" for none), or null.
const CommandOption* misplacedOption(const QCommandLineParser& parser, const QString& commandName)
{
    for (const CommandOption& option : cli::commandOptions()) {
        if (parser.isSet(option.name) && option.command != commandName)
            return &option;
    }
    return nullptr;
}

// The one command given, or null after writing the usage error.
const Command* chosenCommand(const QCommandLineParser& parser, QTextStream& err, CommandLineOutcome* outcome)
{
    QList<const Command*> chosen;
    QStringList names;
    for (const Command& command : cli::commands()) {
        names << dashed(command.name);
        if (parser.isSet(command.name))
            chosen << &command;
    }
    if (chosen.size() <= 1) {
        if (const CommandOption* option = misplacedOption(parser, chosen.isEmpty() ? QString() : chosen.first()->name)) {
            *outcome = usageError(err, QStringLiteral("%1 goes with %2.").arg(dashed(option->name), dashed(option->command)));
            return nullptr;
        }
    }
    if (chosen.size() == 1)
        return chosen.first();
    *outcome = usageError(err, QStringLiteral("Give one of %1.").arg(names.join(QStringLiteral(", "))));
    return nullptr;
}

} // namespace

bool wantsCommandLine(int argc)
{
    return argc > 1;
}

CommandLineOutcome runCommandLine(const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Imports, sets up and starts Tessarine Vandry Live. Without options it opens the launcher's "
                       "window."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    for (const Command& command : cli::commands())
        parser.addOption(optionFor(command.name, command.valueName, command.description));
    for (const CommandOption& option : cli::commandOptions())
        parser.addOption(optionFor(option.name, option.valueName, option.description));

    if (!parser.parse(arguments))
        return usageError(err, parser.errorText());
    // --help-all would add Qt's own options, which only the window takes.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        out << parser.helpText();
        return {};
    }
    if (parser.isSet(version)) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return {};
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(err, QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first()));

    CommandLineOutcome outcome;
    const Command* command = chosenCommand(parser, err, &outcome);
    if (!command)
        return outcome;
    LauncherSession session;
    cli::CommandContext context{parser, session, out, err, {}};
    outcome.exitStatus = command->run(context);
    outcome.desktopNotice = context.desktopNotice;
    return outcome;
}
