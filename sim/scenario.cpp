#include "sim/scenario.h"

#include <QFile>
#include <QRegularExpression>

namespace sim {

namespace {

std::optional<double> parseFraction(const QString& value) {
    const auto number = parseDecimal(value);
    if (!number || *number < 0.0 || *number > 1.0)
        return std::nullopt;
    return number;
}

// Speeds and presets must fit a register in tenths.
std::optional<double> parseSpeed(const QString& value) {
    const auto number = parseDecimal(value);
    if (!number || *number < 0.0 || *number > 6553.5)
        return std::nullopt;
    return number;
}

QString setBusKey(Scenario& scenario, const QString& key, const QString& value) {
    if (key == u"stations") {
        scenario.stationCount = parseStationCount(value);
        return scenario.stationCount ? QString() : QStringLiteral("stations deve ser de 1 a 8");
    }
    if (key == u"addresses") {
        scenario.addresses = parseAddressList(value);
        return scenario.addresses
                   ? QString()
                   : QStringLiteral("addresses deve ser de 1 a 8 endereços distintos, 0 a 255");
    }
    if (key == u"seed") {
        const auto seed = parseInteger(value);
        if (!seed || *seed < 0)
            return QStringLiteral("seed deve ser um inteiro não negativo");
        scenario.seed = static_cast<std::uint64_t>(*seed);
        return {};
    }
    if (key == u"fast-battery") {
        scenario.fastBattery = parseSwitch(value);
        return scenario.fastBattery ? QString() : QStringLiteral("fast-battery deve ser 0 ou 1");
    }
    if (key == u"late-ms") {
        const auto delayMs = parseInteger(value);
        if (!delayMs || *delayMs < 0 || *delayMs > 60000)
            return QStringLiteral("late-ms deve ser de 0 a 60000");
        scenario.lateReplyMs = static_cast<int>(*delayMs);
        return {};
    }
    return QStringLiteral("chave desconhecida em [bus]: %1").arg(key);
}

} // namespace

std::optional<double> parseDecimal(const QString& text) {
    QString plain = text.trimmed();
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double number = plain.toDouble(&ok);
    return ok ? std::optional<double>(number) : std::nullopt;
}

std::optional<long long> parseInteger(const QString& text) {
    bool ok = false;
    const long long number = text.trimmed().toLongLong(&ok, 10);
    return ok ? std::optional<long long>(number) : std::nullopt;
}

std::optional<int> parseStationCount(const QString& text) {
    const auto count = parseInteger(text);
    if (!count || *count < 1 || *count > kMaxStations)
        return std::nullopt;
    return static_cast<int>(*count);
}

std::optional<std::vector<int>> parseAddressList(const QString& text) {
    std::vector<int> addresses;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const auto address = parseInteger(part);
        if (!address || *address < 0 || *address > 255)
            return std::nullopt;
        for (int known : addresses) {
            if (known == *address)
                return std::nullopt;
        }
        addresses.push_back(static_cast<int>(*address));
    }
    if (addresses.empty() || addresses.size() > kMaxStations)
        return std::nullopt;
    return addresses;
}

std::optional<bool> parseSwitch(const QString& text) {
    const QString word = text.trimmed().toLower();
    if (word == u"1" || word == u"sim" || word == u"yes" || word == u"true")
        return true;
    if (word == u"0" || word == u"não" || word == u"nao" || word == u"no" || word == u"false")
        return false;
    return std::nullopt;
}

QString setStationKey(StationOverrides& overrides, const QString& key, const QString& value) {
    if (const auto fault = faultFromName(key)) {
        const auto odds = parseFraction(value);
        if (!odds)
            return QStringLiteral("%1 deve ser uma probabilidade de 0 a 1").arg(key);
        overrides.faultOdds[static_cast<std::size_t>(faultIndex(*fault))] = odds;
        return {};
    }
    if (key == u"address") {
        const auto address = parseInteger(value);
        if (!address || *address < 0 || *address > 255)
            return QStringLiteral("address deve ser de 0 a 255");
        overrides.address = static_cast<int>(*address);
        return {};
    }
    if (key == u"unit") {
        overrides.unitCode = unitFromName(value);
        return overrides.unitCode ? QString()
                                  : QStringLiteral("unit deve ser m/s, km/h, kn ou none");
    }
    if (key == u"rf") {
        overrides.rfOdds = parseFraction(value);
        return overrides.rfOdds ? QString()
                                : QStringLiteral("rf deve ser uma probabilidade de 0 a 1");
    }
    if (key == u"schedule") {
        const QStringList parts = value.split(QLatin1Char('/'));
        const auto present = parts.size() == 2 ? parseDecimal(parts[0]) : std::nullopt;
        const auto away = parts.size() == 2 ? parseDecimal(parts[1]) : std::nullopt;
        if (!present || !away || *present <= 0.0 || *away < 0.0 || *present + *away > 86400.0)
            return QStringLiteral("schedule deve ser PRESENTE/AUSENTE em segundos (ex.: 20/10)");
        overrides.presentAwayS = std::pair{*present, *away};
        return {};
    }
    if (key == u"mean" || key == u"preset1" || key == u"preset2") {
        const auto speed = parseSpeed(value);
        if (!speed)
            return QStringLiteral("%1 deve ser um número de 0 a 6553,5").arg(key);
        auto& target = key == u"mean"      ? overrides.meanSpeedMps
                       : key == u"preset1" ? overrides.preset1
                                           : overrides.preset2;
        target = speed;
        return {};
    }
    return QStringLiteral("chave desconhecida: %1").arg(key);
}

void applyOverrides(const StationOverrides& overrides, StationSetup& station) {
    if (overrides.address)
        station.address = *overrides.address;
    if (overrides.unitCode)
        station.unitCode = *overrides.unitCode;
    if (overrides.meanSpeedMps)
        station.meanSpeedMps = overrides.meanSpeedMps;
    if (overrides.preset1)
        station.preset1 = overrides.preset1;
    if (overrides.preset2)
        station.preset2 = overrides.preset2;
    if (overrides.rfOdds)
        station.rfOdds = *overrides.rfOdds;
    if (overrides.presentAwayS)
        station.presentAwayS = overrides.presentAwayS;
    for (int i = 0; i < kFaultKinds; ++i) {
        const auto& odds = overrides.faultOdds[static_cast<std::size_t>(i)];
        if (odds)
            station.faultOdds[static_cast<std::size_t>(i)] = *odds;
    }
}

ScenarioResult parseScenario(const QString& text, const QString& fileName) {
    static const QRegularExpression stationHeader(QStringLiteral("^station\\s+(\\d+)$"));
    enum class Section { None, Bus, All, Station };

    ScenarioResult result;
    Section section = Section::None;
    StationOverrides* current = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const auto fail = [&](const QString& reason) {
            result.error = QStringLiteral("%1:%2: %3").arg(fileName).arg(i + 1).arg(reason);
            return result;
        };
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2).trimmed().toLower();
            const auto match = stationHeader.match(name);
            if (name == u"bus") {
                section = Section::Bus;
            } else if (name == u"all") {
                section = Section::All;
                current = &result.scenario.allStations;
            } else if (match.hasMatch()) {
                const int number = match.captured(1).toInt();
                if (number < 1 || number > kMaxStations)
                    return fail(QStringLiteral("estação %1 fora de 1 a 8").arg(number));
                section = Section::Station;
                current = &result.scenario.perStation[number];
            } else {
                return fail(QStringLiteral("seção desconhecida: [%1]").arg(name));
            }
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return fail(QStringLiteral("esperado chave=valor: %1").arg(line));
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        QString error;
        if (section == Section::None)
            error = QStringLiteral("chave antes de qualquer seção: %1").arg(key);
        else if (section == Section::Bus)
            error = setBusKey(result.scenario, key, value);
        else
            error = setStationKey(*current, key, value);
        if (!error.isEmpty())
            return fail(error);
    }
    return result;
}

ScenarioResult loadScenario(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        ScenarioResult result;
        result.error =
            QStringLiteral("não foi possível ler o cenário %1: %2").arg(path, file.errorString());
        return result;
    }
    return parseScenario(QString::fromUtf8(file.readAll()), path);
}

} // namespace sim
