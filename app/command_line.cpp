#include "app/command_line.h"

#include <QCommandLineParser>

namespace app {

namespace {

const QString kHelp = QStringLiteral(
    "Uso: anemometros [--local]\n"
    "\n"
    "K&V ANEMÔMETROS: a estação de monitoramento dos anemômetros de um barramento Modbus RTU.\n"
    "Sem opções, abre o programa da estação na pasta atual (ConfigALL.txt).\n"
    "\n"
    "Opções:\n"
    "  --local      a visão do local: as estações de vários computadores de estação, pelo\n"
    "               servidor MQTT de anemometros.ini\n"
    "  -h, --help   mostra esta ajuda\n"
    "  --version    mostra a versão\n");

} // namespace

CommandLineRead readCommandLine(const QStringList& arguments, const QString& version) {
    QCommandLineParser parser;
    const QCommandLineOption local(QStringLiteral("local"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption showVersion(QStringLiteral("version"));
    parser.addOptions({local, help, showVersion});
    const auto refused = [](const QString& why) {
        return CommandLineRead{std::nullopt,
                               2,
                               {},
                               QStringLiteral("anemometros: %1\nUse anemometros --help para ver "
                                              "as opções.\n")
                                   .arg(why)};
    };
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        return refused(unknown.isEmpty()
                           ? parser.errorText()
                           : QStringLiteral("a opção \"%1\" não existe.").arg(unknown.first()));
    }
    if (!parser.positionalArguments().isEmpty())
        return refused(QStringLiteral("o programa não recebe argumentos (\"%1\").")
                           .arg(parser.positionalArguments().first()));
    if (parser.isSet(help))
        return {std::nullopt, 0, kHelp, {}};
    if (parser.isSet(showVersion))
        return {std::nullopt, 0, QStringLiteral("K&V ANEMÔMETROS %1\n").arg(version), {}};
    return {CommandLine{.local = parser.isSet(local)}, 0, {}, {}};
}

} // namespace app
