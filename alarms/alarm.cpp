#include "alarms/alarm.h"

#include <QDateTime>

#include <array>

namespace alarms {

namespace {

struct KindInfo {
    Kind kind;
    const char* text;
    Priority priority;
};

constexpr std::array<KindInfo, kKinds> kKindInfo{{
    {Kind::Preset2, "PRESET 2", Priority::High},
    {Kind::Preset1, "PRESET 1", Priority::Medium},
    {Kind::NoAnswer, "SEM RESPOSTA", Priority::High},
    {Kind::PortClosed, "PORTA FECHADA", Priority::High},
    {Kind::BatteryLow, "BATERIA BAIXA", Priority::Low},
    {Kind::LogFailed, "LOG FALHOU", Priority::Low},
}};

const KindInfo& infoOf(Kind kind) {
    return kKindInfo[static_cast<std::size_t>(kind)];
}

} // namespace

QString kindText(Kind kind) {
    return QString::fromLatin1(infoOf(kind).text);
}

std::optional<Kind> kindFromText(QStringView text) {
    for (const KindInfo& info : kKindInfo) {
        if (text == QLatin1String(info.text))
            return info.kind;
    }
    return std::nullopt;
}

Priority priorityOf(Kind kind) {
    return infoOf(kind).priority;
}

QString priorityText(Priority priority) {
    switch (priority) {
    case Priority::High:
        return QStringLiteral("alta");
    case Priority::Medium:
        return QStringLiteral("média");
    case Priority::Low:
        break;
    }
    return QStringLiteral("baixa");
}

QString stationText(int station) {
    return station == kPortStation ? QStringLiteral("-") : QString::number(station);
}

QString clockText(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm"));
}

QString stateText(const Entry& entry) {
    switch (entry.state) {
    case State::Active:
        return QStringLiteral("ATIVO");
    case State::Acknowledged:
        return QStringLiteral("RECONHECIDO");
    case State::Normalized:
        return QStringLiteral("NORMALIZADO");
    case State::Shelved:
        break;
    }
    return QStringLiteral("SUPRIMIDO ATÉ %1").arg(clockText(entry.shelvedUntilMs));
}

} // namespace alarms
