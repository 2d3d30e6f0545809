#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace app {

// What the command line asks for.
struct CommandLine {
    bool local = false; // --local: the site view instead of the station program
};

// The options the program takes, read before any window exists. --help and --version are
// answered here; an option the program does not know ends it with a message and status 2.
struct CommandLineRead {
    std::optional<CommandLine> run; // none: end with `exitStatus`
    int exitStatus = 0;
    QString out; // for standard output
    QString err; // for standard error
};
CommandLineRead readCommandLine(const QStringList& arguments, const QString& version);

} // namespace app
