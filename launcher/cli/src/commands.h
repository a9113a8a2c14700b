// The table of the command line's commands and of the options that go with
// them. The parser is built from it and dispatches through it: adding a
// command is adding a row and its run function.
#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QTextStream>

class LauncherSession;

namespace cli {

// What a command works with.
struct CommandContext {
    const QCommandLineParser& parser;
    LauncherSession& session;
    QTextStream& out; // results
    QTextStream& err; // failures and progress
    // Set by a command whose failure should also be shown on the desktop.
    QString desktopNotice;
};

struct Command {
    QString name;        // the option, without "--"
    QString valueName;   // empty: the option takes no value
    QString description; // for --help
    int (*run)(CommandContext&); // returns the exit status
};

// An option that changes a command.
struct CommandOption {
    QString name;
    QString valueName;
    QString description;
    QString command; // the name of the command it goes with
};

const QList<Command>& commands();
const QList<CommandOption>& commandOptions();

int runStatus(CommandContext& context);
int runPlay(CommandContext& context);
int runImport(CommandContext& context);
int runVerify(CommandContext& context);
int runRepair(CommandContext& context);

} // namespace cli
