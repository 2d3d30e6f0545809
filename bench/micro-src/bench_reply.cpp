// The reply check (CRC, address, function code) and the decoder, without any display.
#include "readings/reply.h"
#include "replies.h"

#include <benchmark/benchmark.h>

namespace {

const std::vector<bench::Exchange>& exchanges() {
    static const std::vector<bench::Exchange> all = bench::goodExchanges(64);
    return all;
}

void BM_CheckReply(benchmark::State& state) {
    const auto& all = exchanges();
    modbus::CrcRegister crc;
    std::size_t i = 0;
    for (auto _ : state) {
        const bench::Exchange& e = all[i++ % all.size()];
        benchmark::DoNotOptimize(modbus::checkReply(e.reply, e.last, crc));
    }
}
BENCHMARK(BM_CheckReply);

// A reply whose CRC is wrong: the check stops at the first byte compared.
void BM_CheckReplyBadCrc(benchmark::State& state) {
    bench::Exchange e = exchanges().front();
    e.reply.back() ^= 0xFF;
    modbus::CrcRegister crc;
    for (auto _ : state)
        benchmark::DoNotOptimize(modbus::checkReply(e.reply, e.last, crc));
}
BENCHMARK(BM_CheckReplyBadCrc);

void BM_DecodeReply(benchmark::State& state) {
    const auto& all = exchanges();
    std::size_t i = 0;
    for (auto _ : state) {
        const bench::Exchange& e = all[i++ % all.size()];
        benchmark::DoNotOptimize(readings::decodeReply(e.reply, e.station));
    }
}
BENCHMARK(BM_DecodeReply);

void BM_CheckAndDecode(benchmark::State& state) {
    const auto& all = exchanges();
    modbus::CrcRegister crc;
    std::size_t i = 0;
    for (auto _ : state) {
        const bench::Exchange& e = all[i++ % all.size()];
        if (modbus::checkReply(e.reply, e.last, crc) == modbus::ReplyKind::Good)
            benchmark::DoNotOptimize(readings::decodeReply(e.reply, e.station));
    }
}
BENCHMARK(BM_CheckAndDecode);

} // namespace

BENCHMARK_MAIN();
