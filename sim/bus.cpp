#include "sim/bus.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace sim {

namespace {

// A pause this long between bytes ends a frame; the master sends its 8 bytes in one go.
constexpr std::int64_t kInterFrameSilenceMs = 20;
// Nothing waits on the clock when idle; this only bounds how late a missed wake-up can be.
constexpr int kIdlePollMs = 1000;

void printLine(std::FILE* stream, const QString& text) {
    std::fputs((text + u'\n').toUtf8().constData(), stream);
    std::fflush(stream);
}

std::int64_t monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

Bus::Bus(BusSetup setup)
    : setup_(std::move(setup)), framer_(kInterFrameSilenceMs),
      start_(std::chrono::steady_clock::now()) {
    for (const auto& station : setup_.stations) {
        models_.emplace_back(station, setup_.seed, setup_.fastBattery);
        dice_.emplace_back(setup_.seed, station.number);
    }
    if (setup_.vanishAfterS)
        pullOutAtMs_ = std::llround(*setup_.vanishAfterS * 1000.0);
}

std::int64_t Bus::elapsedMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - start_).count();
}

int Bus::run() {
    if (const QString error = log_.open(setup_.logPath, setup_.recordPath); !error.isEmpty()) {
        printLine(stderr, QStringLiteral("anemosim: %1").arg(error));
        return 2;
    }
    if (const QString error = port_.open(setup_.linkPath); !error.isEmpty()) {
        printLine(stderr, QStringLiteral("anemosim: %1").arg(error));
        return 1;
    }
    const auto stationCount = setup_.stations.size();
    printLine(stdout,
              QStringLiteral("anemosim: barramento simulado em %1 (%2 %3, semente %4)")
                  .arg(setup_.linkPath)
                  .arg(stationCount)
                  .arg(stationCount == 1 ? QStringLiteral("estação") : QStringLiteral("estações"))
                  .arg(setup_.seed));
    log_.note(
        QStringLiteral("adaptador conectado: %1 -> %2").arg(setup_.linkPath, port_.slaveName()));

    int exitCode = 0;
    for (;;) {
        std::array<pollfd, 3> watched{};
        nfds_t count = 0;
        watched[count++] = {signals_.readFd(), POLLIN, 0};
        const int masterIndex = port_.isOpen() ? static_cast<int>(count) : -1;
        if (port_.isOpen())
            watched[count++] = {port_.masterFd(), POLLIN, 0};
        const int watchIndex = port_.watchFd() >= 0 ? static_cast<int>(count) : -1;
        if (watchIndex >= 0)
            watched[count++] = {port_.watchFd(), POLLIN, 0};

        const int ready = ::poll(watched.data(), count, pollTimeoutMs());
        if (ready < 0 && errno != EINTR) {
            printLine(stderr, QStringLiteral("anemosim: poll falhou"));
            exitCode = 1;
            break;
        }
        if (!handleSignals())
            break;
        // A close seen with a request from the next open must be handled first, or its flush
        // would swallow the reply to that request.
        if (ready > 0 && watchIndex >= 0 && port_.isOpen() &&
            (watched[watchIndex].revents & POLLIN)) {
            port_.userClosed();
            // A closed port hears nothing: a late reply must not wait for the next user.
            delayed_.clear();
        }
        if (ready > 0 && masterIndex >= 0 && port_.isOpen() &&
            (watched[masterIndex].revents & POLLIN))
            readRequests();
        sendDueReplies();
        followSchedule();
    }
    port_.close();
    log_.note(QStringLiteral("barramento encerrado"));
    return exitCode;
}

int Bus::pollTimeoutMs() const {
    std::int64_t waitMs = kIdlePollMs;
    const std::int64_t nowMs = elapsedMs();
    for (const auto& reply : delayed_)
        waitMs = std::min(waitMs, reply.dueMs - nowMs);
    for (const auto& moment : {pullOutAtMs_, plugInAtMs_}) {
        if (moment)
            waitMs = std::min(waitMs, *moment - nowMs);
    }
    return static_cast<int>(std::max<std::int64_t>(waitMs, 0));
}

bool Bus::handleSignals() {
    for (int number : signals_.takeSignals()) {
        if (number == SIGUSR1)
            pullOut(QStringLiteral("SIGUSR1"));
        else if (number == SIGUSR2)
            plugIn(QStringLiteral("SIGUSR2"));
        else
            return false;
    }
    return true;
}

void Bus::readRequests() {
    std::array<std::uint8_t, 256> buffer{};
    for (;;) {
        const ssize_t count = ::read(port_.masterFd(), buffer.data(), buffer.size());
        if (count <= 0)
            break;
        framer_.feed(std::span(buffer.data(), static_cast<std::size_t>(count)), elapsedMs());
        while (const auto request = framer_.next())
            handle(*request);
    }
}

void Bus::handle(const Request& request) {
    Transaction transaction;
    transaction.monotonicMs = monotonicMs();
    transaction.wallTime = QDateTime::currentDateTime();
    transaction.address = request.address;

    const auto found = std::find_if(setup_.stations.begin(), setup_.stations.end(),
                                    [&](const auto& s) { return s.address == request.address; });
    if (found == setup_.stations.end()) {
        transaction.detail = QStringLiteral("nenhuma estação com este endereço, sem resposta");
        log_.write(transaction);
        return;
    }
    const auto index = static_cast<std::size_t>(found - setup_.stations.begin());
    transaction.station = &*found;

    if (!request.readsAllRegisters()) {
        const bool readsRegisters = request.function == modbus::kReadHoldingRegisters;
        send(modbus::encodeException(request.address, request.function,
                                     readsRegisters ? kIllegalDataAddress : kIllegalFunction));
        transaction.outcome = Outcome::Exception;
        transaction.detail =
            readsRegisters
                ? QStringLiteral("registradores %1 a %2 fora do mapa, exceção 02 enviada")
                      .arg(request.firstRegister)
                      .arg(request.firstRegister + request.count - 1)
                : QStringLiteral("função %1 não suportada, exceção 01 enviada")
                      .arg(request.function);
        log_.write(transaction);
        return;
    }

    const modbus::StationValues registers = models_[index].sample(elapsedMs());
    // A station away on its schedule does not answer; its weather and dice go on all the same.
    const Outcome rolled = dice_[index].roll(found->faultOdds);
    const Outcome fault = found->awayAt(elapsedMs()) ? Outcome::Silent : rolled;
    const StationAnswer answer =
        dice_[index].answer(fault, modbus::encodeReply(request.address, registers), request.address,
                            setup_.lateReplyMs);
    if (answer.delayMs > 0)
        delayed_.push_back({elapsedMs() + answer.delayMs, answer.bytes});
    else if (!answer.bytes.empty())
        send(answer.bytes);

    transaction.outcome = answer.outcome;
    transaction.registers = registers;
    transaction.detail = answer.detail;
    log_.write(transaction);
}

void Bus::send(const Bytes& bytes) {
    std::size_t sent = 0;
    while (port_.isOpen() && sent < bytes.size()) {
        const ssize_t count = ::write(port_.masterFd(), bytes.data() + sent, bytes.size() - sent);
        if (count < 0 && errno == EINTR)
            continue;
        // A full queue means nobody is reading the port: the rest is lost, as on a real line.
        if (count <= 0)
            return;
        sent += static_cast<std::size_t>(count);
    }
}

void Bus::sendDueReplies() {
    const std::int64_t nowMs = elapsedMs();
    auto due = std::stable_partition(delayed_.begin(), delayed_.end(),
                                     [nowMs](const auto& reply) { return reply.dueMs > nowMs; });
    for (auto it = due; it != delayed_.end(); ++it)
        send(it->bytes);
    delayed_.erase(due, delayed_.end());
}

void Bus::followSchedule() {
    const std::int64_t nowMs = elapsedMs();
    if (pullOutAtMs_ && nowMs >= *pullOutAtMs_) {
        pullOutAtMs_.reset();
        pullOut(QStringLiteral("--vanish-after"));
        plugInAtMs_ = nowMs + std::llround(setup_.vanishForS * 1000.0);
    }
    if (plugInAtMs_ && nowMs >= *plugInAtMs_) {
        plugInAtMs_.reset();
        plugIn(QStringLiteral("--vanish-for"));
    }
}

void Bus::pullOut(const QString& reason) {
    if (!port_.isOpen())
        return;
    port_.close();
    framer_.clear();
    delayed_.clear();
    log_.note(QStringLiteral("adaptador retirado (%1): %2 apagada").arg(reason, setup_.linkPath));
}

void Bus::plugIn(const QString& reason) {
    if (port_.isOpen())
        return;
    if (const QString error = port_.open(setup_.linkPath); !error.isEmpty()) {
        log_.note(QStringLiteral("adaptador não reconectado (%1): %2").arg(reason, error));
        return;
    }
    log_.note(QStringLiteral("adaptador reconectado (%1): %2 -> %3")
                  .arg(reason, setup_.linkPath, port_.slaveName()));
}

} // namespace sim
