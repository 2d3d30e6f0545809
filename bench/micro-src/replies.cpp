#include "replies.h"

#include <QString>

namespace bench {

std::vector<std::uint8_t> reply(int address, const std::vector<int>& registers) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(address), 3, 12};
    for (int value : registers) {
        bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    const std::vector<int> cells(bytes.begin(), bytes.end());
    modbus::CrcRegister crc;
    modbus::Calcula_CRC(static_cast<int>(cells.size()), cells, crc);
    bytes.push_back(crc.low);
    bytes.push_back(crc.high);
    return bytes;
}

std::vector<Exchange> goodExchanges(int count) {
    std::vector<Exchange> exchanges;
    for (int i = 0; i < count; ++i) {
        Exchange e;
        e.station = i % 8 + 1;
        modbus::CrcRegister crc;
        modbus::buildRequest(QString::number(e.station), e.last, crc);
        const int speed = 20 + (i * 37) % 300;  // 2,0 to 31,9
        const int battery = 330 + (i * 7) % 50; // 3,30 V to 3,79 V: every icon
        const int direction = i % 17;           // 16 gives "---"
        const int status = (i % 4) | 0x04 | (i % 3 == 0 ? 0x08 : 0) | (i % 5 == 0 ? 0x10 : 0) |
                           (i % 7 == 0 ? 0x20 : 0) | 0x80; // RF on: every reading is logged
        e.reply = reply(e.station, {speed, battery, direction, 150 + i % 40, 250 + i % 60, status});
        exchanges.push_back(std::move(e));
    }
    return exchanges;
}

} // namespace bench
