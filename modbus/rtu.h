#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// The Modbus RTU codec of the station bus: the one place that knows the request frame, the
// CRC-16, the register map of a station's reply and its status bits. The program, the
// simulator, the tests, the benchmarks and the manual's screenshots all build and read frames
// here.
namespace modbus {

using Bytes = std::vector<std::uint8_t>;

// The two bytes left by the last CRC computation; low is the byte sent first on the wire.
struct CrcRegister {
    std::uint8_t low = 0;
    std::uint8_t high = 0;
    friend bool operator==(const CrcRegister&, const CrcRegister&) = default;
};

// Header of the last request built: address, function, first register (hi, lo), count (hi, lo).
using LastRequest = std::array<std::uint8_t, 6>;
using RequestFrame = std::array<std::uint8_t, 8>;

inline constexpr std::uint8_t kReadHoldingRegisters = 3;
inline constexpr std::uint8_t kExceptionFlag = 0x80; // added to the function of an exception
inline constexpr std::uint8_t kRegisterCount = 6;
inline constexpr int kRequestBytes = 8;
// Address, function, byte count, six registers of two bytes, CRC.
inline constexpr int kReplyBytes = 17;
// Replies are checked as a table of 255 cells, zero past the bytes received.
inline constexpr int kReplyCells = 255;

// Registers 0..5 of a station, in reply order; each is two bytes, high byte first, from byte 3.
enum class Register { Speed, Battery, Direction, Preset1, Preset2, Status };
// The status byte is the low byte of register 5 (byte 14 of the reply).
inline constexpr std::size_t kStatusByte = 14;

// Bits of the status byte.
namespace status {
inline constexpr std::uint8_t kUnitCodeMask = 0x03; // 0 m/s, 1 km/h, 2 kn, 3 no unit
inline constexpr std::uint8_t kDirectionValid = 0x04;
inline constexpr std::uint8_t kSoundAlarm = 0x08;
inline constexpr std::uint8_t kPreset1Alarm = 0x10;
inline constexpr std::uint8_t kPreset2Alarm = 0x20;
inline constexpr std::uint8_t kRf = 0x80;
} // namespace status

enum class UnitCode : std::uint8_t {
    MetresPerSecond = 0,
    KilometresPerHour = 1,
    Knots = 2,
    None = 3
};

// "m/s", "km/h", "kn", or empty for no unit: the short symbol of a unit code.
QString unitSymbol(UnitCode code);

// The values of one station's reply, as the registers carry them.
struct StationValues {
    std::uint16_t speed = 0;     // tenths of the unit
    std::uint16_t battery = 0;   // hundredths of a volt
    std::uint16_t direction = 0; // compass code 0..15
    std::uint16_t preset1 = 0;   // tenths of the unit
    std::uint16_t preset2 = 0;   // tenths of the unit
    std::uint8_t status = 0;

    UnitCode unitCode() const { return static_cast<UnitCode>(status & status::kUnitCodeMask); }
    bool has(std::uint8_t statusBit) const { return (status & statusBit) != 0; }
    friend bool operator==(const StationValues&, const StationValues&) = default;
};

// CRC-16/MODBUS over the low bytes of the first `count` cells; a count of 0 or less covers
// nothing and leaves FF FF. Every call starts afresh.
void Calcula_CRC(int count, std::span<const int> cells, CrcRegister& crc);
// Appends the CRC-16 of the whole frame, low byte first.
void appendCrc(Bytes& frame);

// The low 8 bits of the address text converted as a signed decimal ("300" is 44).
// Fails with the conversion failure when the text is not a decimal integer.
std::uint8_t addressByte(const QString& addressText);

// Builds the 8-byte read-holding-registers request for registers 0..5. On success the last
// request and the CRC register are overwritten; on a bad address text both stay untouched.
RequestFrame buildRequest(const QString& addressText, LastRequest& last, CrcRegister& crc);

// The CRC test of a reply: its last two bytes against the CRC of all bytes before them
// (the second-to-last byte counts as 0 when the reply has only one byte). Leaves the CRC
// computed over the reply in `crc`.
bool replyCrcGood(std::span<const std::uint8_t> reply, CrcRegister& crc);

// What a reply turned out to be. Only Good is a reading; the others say why not.
enum class ReplyKind { Good, NoReply, BadCrc, WrongAddress, WrongFunction, TooShort };

// Checks the bytes read against the last request in the station's order: CRC low byte, CRC
// high byte, address, function code; the first test that fails names the kind. A reply
// shorter than a full answer whose CRC fails was cut short (TooShort); so is any reply of
// fewer than 3 bytes. Only the first 255 bytes count, as the port never returns more.
// Leaves the CRC computed over the reply in `crc`.
ReplyKind checkReply(std::span<const std::uint8_t> reply, const LastRequest& last,
                     CrcRegister& crc);

// The registers of a reply at their fixed places; bytes that did not arrive read as 0, so a
// short reply that passed the checks still decodes. The byte count and register 5's high
// byte are not looked at.
StationValues decodeReply(std::span<const std::uint8_t> reply);

// A station's 17-byte answer to the read request, CRC included.
Bytes encodeReply(std::uint8_t address, const StationValues& values);
// A Modbus exception answer: the function with its exception flag, the code, the CRC.
Bytes encodeException(std::uint8_t address, std::uint8_t function, std::uint8_t code);

} // namespace modbus
