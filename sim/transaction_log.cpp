#include "sim/transaction_log.h"

#include "modbus/vocabulary.h"
#include "toolkit/numbers.h"

#include <array>
#include <cstdio>

namespace sim {

namespace {

QString describeValues(const modbus::StationValues& values) {
    namespace status = modbus::status;
    const QString unit = unitText(values.status & status::kUnitCodeMask);
    const QString direction =
        values.has(status::kDirectionValid) ? modbus::compassName(values.direction) : QString();
    QString text =
        QStringLiteral("vel %1%2, dir %3, bat %4 V, RF %5")
            .arg(toolkit::decimalText(qint64(values.speed), 1),
                 unit.isEmpty() ? QString() : u' ' + unit,
                 direction.isEmpty() ? QStringLiteral("---") : direction,
                 toolkit::decimalText(qint64(values.battery), 2),
                 values.has(status::kRf) ? QStringLiteral("ligado") : QStringLiteral("desligado"));
    if (values.has(status::kPreset1Alarm))
        text += QStringLiteral(", alarme P1");
    if (values.has(status::kPreset2Alarm))
        text += QStringLiteral(", alarme P2");
    return text;
}

QString stationLabel(const Transaction& transaction) {
    if (!transaction.station)
        return QStringLiteral("endereço %1").arg(transaction.address);
    if (transaction.station->number == transaction.station->address)
        return QStringLiteral("estação %1").arg(transaction.station->number);
    return QStringLiteral("estação %1 (endereço %2)")
        .arg(transaction.station->number)
        .arg(transaction.station->address);
}

} // namespace

QString describeTransaction(const Transaction& transaction) {
    QString text = QStringLiteral("%1: pedido recebido, %2")
                       .arg(stationLabel(transaction), transaction.detail);
    if (transaction.registers)
        text += QStringLiteral(" (%1)").arg(describeValues(*transaction.registers));
    return text;
}

QString recordLine(const Transaction& transaction) {
    const QDateTime wall =
        transaction.wallTime.toOffsetFromUtc(transaction.wallTime.offsetFromUtc());
    QStringList fields{QString::number(transaction.monotonicMs), wall.toString(Qt::ISODateWithMs),
                       QString::number(transaction.address), outcomeName(transaction.outcome)};
    if (const auto& values = transaction.registers) {
        for (const int value : {int(values->speed), int(values->battery), int(values->direction),
                                int(values->preset1), int(values->preset2), int(values->status)})
            fields.append(QString::number(value));
    } else {
        for (int i = 0; i < modbus::kRegisterCount; ++i)
            fields.append(QString());
    }
    return fields.join(QLatin1Char(';'));
}

QString TransactionLog::open(const QString& logPath, const QString& recordPath) {
    for (auto [file, path] : {std::pair{&log_, logPath}, std::pair{&record_, recordPath}}) {
        if (path.isEmpty())
            continue;
        file->setFileName(path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QStringLiteral("não foi possível criar %1: %2").arg(path, file->errorString());
    }
    return {};
}

void TransactionLog::writeLogLine(const QString& text) {
    const QByteArray line =
        (QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + text + u'\n')
            .toUtf8();
    if (log_.isOpen()) {
        log_.write(line);
        log_.flush();
    } else {
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fflush(stdout);
    }
}

void TransactionLog::write(const Transaction& transaction) {
    writeLogLine(describeTransaction(transaction));
    if (record_.isOpen()) {
        // Flushed per line: checkers read the record while the bus is still running.
        record_.write((recordLine(transaction) + u'\n').toUtf8());
        record_.flush();
    }
}

void TransactionLog::note(const QString& text) {
    writeLogLine(text);
}

} // namespace sim
