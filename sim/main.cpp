#include "sim/bus.h"
#include "sim/options.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    sim::CommandLine commandLine = sim::parseCommandLine(arguments);
    switch (commandLine.action) {
    case sim::CommandLine::Action::ShowHelp:
        std::fputs(sim::helpText().toUtf8().constData(), stdout);
        return 0;
    case sim::CommandLine::Action::Refuse:
        std::fprintf(stderr, "anemosim: %s\nUse anemosim --help para ver as opções.\n",
                     commandLine.error.toUtf8().constData());
        return 2;
    case sim::CommandLine::Action::Run:
        break;
    }
    sim::Bus bus(std::move(commandLine.setup));
    return bus.run();
}
