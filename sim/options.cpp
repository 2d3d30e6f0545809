#include "sim/options.h"

#include "sim/scenario.h"

#include <random>

namespace sim {

namespace {

struct RawOptions {
    QString linkPath;
    std::optional<QString> stations;
    std::optional<QString> addresses;
    std::optional<QString> seed;
    std::optional<QString> scenarioPath;
    QStringList faults;
    bool fastBattery = false;
    std::optional<QString> lateMs;
    std::optional<QString> vanishAfter;
    std::optional<QString> vanishFor;
    QString logPath;
    QString recordPath;
};

CommandLine refuse(const QString& reason) {
    CommandLine result;
    result.action = CommandLine::Action::Refuse;
    result.error = reason;
    return result;
}

// Reads the options into texts; returns an error text or empty.
QString readOptions(const QStringList& arguments, RawOptions& raw, bool& helpWanted) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"-h" || argument == u"--help") {
            helpWanted = true;
            return {};
        }
        if (!argument.startsWith(u"--"))
            return QStringLiteral("argumento inesperado: %1").arg(argument);
        QString name = argument.mid(2);
        std::optional<QString> inlineValue;
        if (const qsizetype equals = name.indexOf(QLatin1Char('=')); equals >= 0) {
            inlineValue = name.mid(equals + 1);
            name.truncate(equals);
        }
        if (name == u"fast-battery") {
            if (inlineValue)
                return QStringLiteral("--fast-battery não aceita valor");
            raw.fastBattery = true;
            continue;
        }
        static const QStringList valueOptions{
            QStringLiteral("link"),    QStringLiteral("stations"),     QStringLiteral("addresses"),
            QStringLiteral("seed"),    QStringLiteral("scenario"),     QStringLiteral("fault"),
            QStringLiteral("late-ms"), QStringLiteral("vanish-after"), QStringLiteral("vanish-for"),
            QStringLiteral("log"),     QStringLiteral("record")};
        if (!valueOptions.contains(name))
            return QStringLiteral("opção desconhecida: --%1").arg(name);
        QString value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return QStringLiteral("falta o valor de --%1").arg(name);
        }
        if (name == u"link")
            raw.linkPath = value;
        else if (name == u"stations")
            raw.stations = value;
        else if (name == u"addresses")
            raw.addresses = value;
        else if (name == u"seed")
            raw.seed = value;
        else if (name == u"scenario")
            raw.scenarioPath = value;
        else if (name == u"fault")
            raw.faults.append(value);
        else if (name == u"late-ms")
            raw.lateMs = value;
        else if (name == u"vanish-after")
            raw.vanishAfter = value;
        else if (name == u"vanish-for")
            raw.vanishFor = value;
        else if (name == u"log")
            raw.logPath = value;
        else
            raw.recordPath = value;
    }
    return {};
}

// "3:silent=1,late=0.2" or "all:badcrc=0.05", laid over the stations built so far.
QString applyFaultOption(const QString& faultOption, std::vector<StationSetup>& stations) {
    const qsizetype colon = faultOption.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return QStringLiteral("--fault %1: use ESTAÇÃO:falha=probabilidade").arg(faultOption);
    const QString selector = faultOption.left(colon).trimmed().toLower();
    int stationNumber = 0;
    if (selector != u"all" && selector != u"todas") {
        const auto number = parseInteger(selector);
        if (!number || *number < 1 || *number > static_cast<long long>(stations.size()))
            return QStringLiteral("--fault %1: não há estação %2 no barramento")
                .arg(faultOption, selector);
        stationNumber = static_cast<int>(*number);
    }
    StationOverrides overrides;
    for (const QString& pair : faultOption.mid(colon + 1).split(QLatin1Char(','))) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        const QString key = pair.left(equals).trimmed().toLower();
        if (equals <= 0 || !faultFromName(key))
            return QStringLiteral("--fault %1: falha desconhecida: %2").arg(faultOption, pair);
        if (const QString error = setStationKey(overrides, key, pair.mid(equals + 1));
            !error.isEmpty())
            return QStringLiteral("--fault %1: %2").arg(faultOption, error);
    }
    for (auto& station : stations) {
        if (stationNumber == 0 || station.number == stationNumber)
            applyOverrides(overrides, station);
    }
    return {};
}

std::optional<double> parsePositiveSeconds(const QString& text) {
    const auto seconds = parseDecimal(text);
    if (!seconds || *seconds <= 0.0 || *seconds > 86400.0)
        return std::nullopt;
    return seconds;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    RawOptions raw;
    bool helpWanted = false;
    if (const QString error = readOptions(arguments, raw, helpWanted); !error.isEmpty())
        return refuse(error);
    CommandLine result;
    if (helpWanted) {
        result.action = CommandLine::Action::ShowHelp;
        return result;
    }
    if (raw.linkPath.isEmpty())
        return refuse(QStringLiteral("falta --link CAMINHO"));
    if (raw.stations && raw.addresses)
        return refuse(QStringLiteral("use --stations ou --addresses, não os dois"));

    Scenario scenario;
    if (raw.scenarioPath) {
        ScenarioResult loaded = loadScenario(*raw.scenarioPath);
        if (!loaded.error.isEmpty())
            return refuse(loaded.error);
        scenario = std::move(loaded.scenario);
    }

    BusSetup& setup = result.setup;
    setup.linkPath = raw.linkPath;
    setup.logPath = raw.logPath;
    setup.recordPath = raw.recordPath;

    std::vector<int> addresses;
    if (raw.addresses) {
        const auto list = parseAddressList(*raw.addresses);
        if (!list)
            return refuse(QStringLiteral("--addresses: de 1 a 8 endereços distintos, 0 a 255"));
        addresses = *list;
    } else if (raw.stations) {
        const auto count = parseStationCount(*raw.stations);
        if (!count)
            return refuse(QStringLiteral("--stations: o número de estações vai de 1 a 8"));
        for (int number = 1; number <= *count; ++number)
            addresses.push_back(number);
    } else if (scenario.addresses) {
        addresses = *scenario.addresses;
    } else {
        for (int number = 1; number <= scenario.stationCount.value_or(kMaxStations); ++number)
            addresses.push_back(number);
    }

    if (raw.seed) {
        const auto seed = parseInteger(*raw.seed);
        if (!seed || *seed < 0)
            return refuse(QStringLiteral("--seed: use um inteiro não negativo"));
        setup.seed = static_cast<std::uint64_t>(*seed);
    } else if (scenario.seed) {
        setup.seed = *scenario.seed;
    } else {
        setup.seed = std::random_device{}();
    }

    setup.fastBattery = raw.fastBattery || scenario.fastBattery.value_or(false);
    setup.lateReplyMs = scenario.lateReplyMs.value_or(setup.lateReplyMs);
    if (raw.lateMs) {
        const auto delayMs = parseInteger(*raw.lateMs);
        if (!delayMs || *delayMs < 0 || *delayMs > 60000)
            return refuse(QStringLiteral("--late-ms: de 0 a 60000"));
        setup.lateReplyMs = static_cast<int>(*delayMs);
    }
    if (raw.vanishAfter) {
        setup.vanishAfterS = parsePositiveSeconds(*raw.vanishAfter);
        if (!setup.vanishAfterS)
            return refuse(QStringLiteral("--vanish-after: segundos maiores que zero"));
    }
    if (raw.vanishFor) {
        const auto seconds = parsePositiveSeconds(*raw.vanishFor);
        if (!seconds)
            return refuse(QStringLiteral("--vanish-for: segundos maiores que zero"));
        setup.vanishForS = *seconds;
    }

    const int count = static_cast<int>(addresses.size());
    for (const auto& [number, overrides] : scenario.perStation) {
        if (number > count)
            return refuse(QStringLiteral("cenário: a estação %1 não existe (o barramento tem %2)")
                              .arg(number)
                              .arg(count));
    }
    for (int number = 1; number <= count; ++number) {
        StationSetup station;
        station.number = number;
        station.address = addresses[static_cast<std::size_t>(number - 1)];
        station.unitCode = (number - 1) % 3;
        applyOverrides(scenario.allStations, station);
        if (const auto found = scenario.perStation.find(number); found != scenario.perStation.end())
            applyOverrides(found->second, station);
        setup.stations.push_back(station);
    }
    for (const QString& faultOption : raw.faults) {
        if (const QString error = applyFaultOption(faultOption, setup.stations); !error.isEmpty())
            return refuse(error);
    }
    for (std::size_t i = 0; i < setup.stations.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (setup.stations[i].address == setup.stations[j].address)
                return refuse(QStringLiteral("as estações %1 e %2 têm o mesmo endereço %3")
                                  .arg(j + 1)
                                  .arg(i + 1)
                                  .arg(setup.stations[i].address));
        }
    }
    return result;
}

} // namespace sim
