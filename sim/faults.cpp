#include "sim/faults.h"

#include "sim/wind_model.h"

namespace sim {

FaultDice::FaultDice(std::uint64_t seed, int stationNumber)
    : engine_(makeEngine(seed, stationNumber, RandomStream::Faults)) {}

Outcome FaultDice::roll(const FaultOdds& odds) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (int i = 0; i < kFaultKinds; ++i) {
        const double chance = odds[static_cast<std::size_t>(i)];
        if (chance > 0.0 && uniform(engine_) < chance)
            return faultAt(i);
    }
    return Outcome::Good;
}

Bytes FaultDice::randomBytes(int count) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes;
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(byte(engine_)));
    return bytes;
}

StationAnswer FaultDice::answer(Outcome fault, const Bytes& goodReply, std::uint8_t address,
                                int lateReplyMs) {
    StationAnswer answer;
    answer.outcome = fault;
    switch (fault) {
    case Outcome::Good:
        answer.bytes = goodReply;
        answer.detail = QStringLiteral("resposta enviada");
        break;
    case Outcome::Silent:
        answer.detail = QStringLiteral("falha simulada: sem resposta");
        break;
    case Outcome::BadCrc: {
        answer.bytes = goodReply;
        std::uniform_int_distribution<int> flip(1, 255);
        answer.bytes.back() ^= static_cast<std::uint8_t>(flip(engine_));
        answer.detail = QStringLiteral("falha simulada: CRC errado");
        break;
    }
    case Outcome::WrongAddress: {
        const auto other = static_cast<std::uint8_t>(address == 255 ? 254 : address + 1);
        answer.bytes = goodReply;
        answer.bytes = modbus::encodeReply(other, modbus::decodeReply(goodReply));
        answer.detail =
            QStringLiteral("falha simulada: endereço errado (respondeu como %1)").arg(other);
        break;
    }
    case Outcome::Exception:
        answer.bytes =
            modbus::encodeException(address, modbus::kReadHoldingRegisters, kServerDeviceFailure);
        answer.detail = QStringLiteral("falha simulada: exceção Modbus 04");
        break;
    case Outcome::Truncated: {
        std::uniform_int_distribution<int> length(1, modbus::kReplyBytes - 1);
        // A cut that happens to end on a valid CRC would be read as good: cut again.
        do {
            answer.bytes.assign(goodReply.begin(), goodReply.begin() + length(engine_));
        } while (passesReplyCheck(answer.bytes, address));
        answer.detail = QStringLiteral("falha simulada: resposta truncada (%1 de %2 bytes)")
                            .arg(answer.bytes.size())
                            .arg(modbus::kReplyBytes);
        break;
    }
    case Outcome::Late:
        answer.bytes = goodReply;
        answer.delayMs = lateReplyMs;
        answer.detail = QStringLiteral("falha simulada: resposta atrasada %1 ms").arg(lateReplyMs);
        break;
    case Outcome::Noise: {
        std::uniform_int_distribution<int> count(0, 4);
        int before = 0;
        int after = 0;
        do {
            before = count(engine_);
            after = count(engine_);
            answer.bytes = randomBytes(before);
            answer.bytes.insert(answer.bytes.end(), goodReply.begin(), goodReply.end());
            const Bytes tail = randomBytes(after);
            answer.bytes.insert(answer.bytes.end(), tail.begin(), tail.end());
        } while (before + after == 0 || passesReplyCheck(answer.bytes, address));
        answer.detail = QStringLiteral("falha simulada: ruído (%1 bytes antes, %2 depois)")
                            .arg(before)
                            .arg(after);
        break;
    }
    }
    return answer;
}

} // namespace sim
