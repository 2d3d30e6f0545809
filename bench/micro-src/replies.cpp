#include "replies.h"

#include <QString>

namespace bench {

std::vector<Exchange> goodExchanges(int count) {
    std::vector<Exchange> exchanges;
    for (int i = 0; i < count; ++i) {
        Exchange e;
        e.station = i % 8 + 1;
        modbus::CrcRegister crc;
        modbus::buildRequest(QString::number(e.station), e.last, crc);
        namespace status = modbus::status;
        const modbus::StationValues values{
            .speed = std::uint16_t(20 + (i * 37) % 300),  // 2,0 to 31,9
            .battery = std::uint16_t(330 + (i * 7) % 50), // 3,30 V to 3,79 V: every icon
            .direction = std::uint16_t(i % 17),           // 16 gives "---"
            .preset1 = std::uint16_t(150 + i % 40),
            .preset2 = std::uint16_t(250 + i % 60),
            .status = std::uint8_t((i % 4) | status::kDirectionValid |
                                   (i % 3 == 0 ? status::kSoundAlarm : 0) |
                                   (i % 5 == 0 ? status::kPreset1Alarm : 0) |
                                   (i % 7 == 0 ? status::kPreset2Alarm : 0) |
                                   status::kRf), // RF on: every reading is logged
        };
        e.reply = modbus::encodeReply(std::uint8_t(e.station), values);
        exchanges.push_back(std::move(e));
    }
    return exchanges;
}

} // namespace bench
