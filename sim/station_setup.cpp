#include "sim/station_setup.h"

namespace sim {

namespace {

struct OutcomeWord {
    Outcome outcome;
    const char* word;
};

constexpr std::array<OutcomeWord, 8> kOutcomeWords{{
    {Outcome::Good, "good"},
    {Outcome::Silent, "silent"},
    {Outcome::BadCrc, "badcrc"},
    {Outcome::WrongAddress, "wrongaddr"},
    {Outcome::Exception, "exception"},
    {Outcome::Truncated, "truncated"},
    {Outcome::Late, "late"},
    {Outcome::Noise, "noise"},
}};

} // namespace

QString outcomeName(Outcome outcome) {
    for (const auto& entry : kOutcomeWords) {
        if (entry.outcome == outcome)
            return QString::fromLatin1(entry.word);
    }
    return {};
}

std::optional<Outcome> faultFromName(QStringView name) {
    for (const auto& entry : kOutcomeWords) {
        if (entry.outcome != Outcome::Good && name.compare(QLatin1String(entry.word)) == 0)
            return entry.outcome;
    }
    return std::nullopt;
}

std::optional<int> unitFromName(QStringView name) {
    const QString word = name.trimmed().toString().toLower();
    if (word == u"m/s" || word == u"ms" || word == u"0")
        return 0;
    if (word == u"km/h" || word == u"kmh" || word == u"1")
        return 1;
    if (word == u"kn" || word == u"nós" || word == u"nos" || word == u"2")
        return 2;
    if (word == u"none" || word == u"nenhuma" || word == u"3")
        return 3;
    return std::nullopt;
}

QString unitText(int unitCode) {
    switch (unitCode) {
    case 0:
        return QStringLiteral("m/s");
    case 1:
        return QStringLiteral("km/h");
    case 2:
        return QStringLiteral("kn");
    default:
        return {};
    }
}

} // namespace sim
