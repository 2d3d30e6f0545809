// A synthetic month for bench/archive_read: S stations (8 per station PC, labelled local=pcK)
// with one poll a second for D days ending at --end-ms, written to a VictoriaMetrics (or an
// InfluxDB 1.x) in InfluxDB line protocol by C connections at once, each a thread of its own
// with a share of the stations. Each station's wind is a seeded walk with gusts; one poll in
// 200 goes unanswered (respondendo=0) and every station PC is away for an hour on day 10 (no
// line at all). Alarm events (PRESET 2 ativo, reconhecido por "operador", normalizado) follow
// the speed. --fields read writes only what the site's Histórico reads (velocidade, preset1,
// preset2, respondendo); --fields full writes the whole line of a station PC.
// Prints the lines and samples written and the seconds taken.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int port = 8428;
    int stations = 64;
    int days = 30;
    int connections = 2;
    std::int64_t endMs = 0;
    bool full = false;
    int linesPerPost = 20000;
};

constexpr std::int64_t kDayMs = 86'400'000;
constexpr int kPreset1Tenths = 150;
constexpr int kPreset2Tenths = 250;

// One HTTP/1.1 connection kept open; a post returns false on anything but a 2xx.
class Connection {
public:
    explicit Connection(int port) : port_(port) { open(); }
    ~Connection() { close(fd_); }

    // The database closes a connection after a while (VictoriaMetrics: -http.connTimeout):
    // a write it did not answer goes again on a new one.
    bool post(const std::string& body) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (postOnce(body))
                return true;
            close(fd_);
            open();
        }
        return false;
    }

private:
    void open() {
        const int port = port_;
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("connect");
            std::exit(1);
        }
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }

    bool postOnce(const std::string& body) {
        const std::string head = "POST /write?precision=ms HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                 "Content-Type: text/plain\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\n\r\n";
        if (!sendAll(head) || !sendAll(body))
            return false;
        // The reply of a write has no body worth reading: its status line and headers, and a
        // Content-Length body when there is one.
        std::string reply;
        char buffer[4096];
        while (reply.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return false;
            reply.append(buffer, std::size_t(got));
        }
        const std::size_t end = reply.find("\r\n\r\n") + 4;
        std::size_t length = 0;
        if (const std::size_t at = reply.find("Content-Length: "); at != std::string::npos)
            length = std::strtoul(reply.c_str() + at + 16, nullptr, 10);
        while (reply.size() < end + length) {
            const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return false;
            reply.append(buffer, std::size_t(got));
        }
        if (reply.compare(9, 1, "2") != 0) {
            std::fprintf(stderr, "write refused: %s\n", reply.c_str());
            return false;
        }
        return true;
    }

    bool sendAll(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t put = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (put <= 0)
                return false;
            sent += std::size_t(put);
        }
        return true;
    }

    int port_;
    int fd_ = -1;
};

std::atomic<std::int64_t> linesWritten{0};
std::atomic<std::int64_t> samplesWritten{0};

void appendTenths(std::string& out, int tenths) {
    out += std::to_string(tenths / 10);
    out += '.';
    out += char('0' + tenths % 10);
}

void writeStation(Connection& connection, const Options& options, int station) {
    const int pc = station / 8 + 1;
    const int number = station % 8 + 1;
    const std::string tags = "local=pc" + std::to_string(pc) +
                             ",estacao=" + std::to_string(number) + ",nome=ANEMÔMETRO\\ " +
                             std::to_string(number) + ",unidade=km/h";
    const std::string reading = "anemometro," + tags + " ";
    const std::string alarm = "alarme," + tags + ",alarme=PRESET\\ 2,prioridade=alta";
    std::mt19937 random(std::uint32_t(1000 + station));
    std::normal_distribution<double> step(0.0, 1.5);
    std::uniform_int_distribution<int> oneIn(0, 199);
    const std::int64_t fromMs = options.endMs - options.days * kDayMs;
    const std::int64_t awayFromMs = fromMs + 9 * kDayMs + 10 * 3'600'000;
    double tenths = 80;
    bool alarmOn = false;
    std::string body;
    body.reserve(std::size_t(options.linesPerPost) * 200);
    int lines = 0;
    std::int64_t samples = 0;
    const auto flush = [&] {
        if (lines == 0)
            return;
        if (!connection.post(body)) {
            std::fprintf(stderr, "station %d: write failed\n", station);
            std::exit(1);
        }
        linesWritten += lines;
        samplesWritten += samples;
        body.clear();
        lines = 0;
        samples = 0;
    };
    for (std::int64_t ms = fromMs; ms < options.endMs; ms += 1000) {
        if (ms >= awayFromMs && ms < awayFromMs + 3'600'000)
            continue;
        // A slow daily swing under the gusts, kept within the register.
        const double hour = double((ms / 1000) % 86400) / 3600.0;
        const double mean = 110 + 80 * std::sin((hour - 9) / 24 * 2 * M_PI);
        tenths += step(random) * 3 + (mean - tenths) * 0.02;
        tenths = std::clamp(tenths, 0.0, 600.0);
        const int speed = int(tenths);
        body += reading;
        if (oneIn(random) == 0) {
            body += "respondendo=0 ";
            ++samples;
        } else {
            body += "velocidade=";
            appendTenths(body, speed);
            if (options.full) {
                body += ",direcao_graus=";
                body += std::to_string(int((ms / 60000 + station) % 16) * 225 / 10);
                body += ",bateria=12.6";
            }
            body += ",preset1=15.0,preset2=25.0";
            samples += 4;
            if (options.full) {
                body += speed >= kPreset1Tenths ? ",alarme_preset1=1" : ",alarme_preset1=0";
                body += speed >= kPreset2Tenths ? ",alarme_preset2=1" : ",alarme_preset2=0";
                body += ",alarme_sonoro=0,rf=1";
                samples += 7;
            }
            body += ",respondendo=1 ";
        }
        body += std::to_string(ms);
        body += '\n';
        ++lines;
        if (speed >= kPreset2Tenths && !alarmOn) {
            alarmOn = true;
            body += alarm + " estado=1 " + std::to_string(ms) + "\n";
            body += alarm + ",por=operador estado=2 " + std::to_string(ms + 30'000) + "\n";
            lines += 2;
            samples += 2;
        } else if (speed < kPreset1Tenths && alarmOn) {
            alarmOn = false;
            body += alarm + " estado=3 " + std::to_string(ms) + "\n";
            ++lines;
            ++samples;
        }
        if (lines >= options.linesPerPost)
            flush();
    }
    flush();
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--port")
            options.port = std::atoi(value);
        else if (key == "--stations")
            options.stations = std::atoi(value);
        else if (key == "--days")
            options.days = std::atoi(value);
        else if (key == "--connections")
            options.connections = std::atoi(value);
        else if (key == "--end-ms")
            options.endMs = std::atoll(value);
        else if (key == "--fields")
            options.full = std::string(value) == "full";
        else {
            std::fprintf(stderr,
                         "usage: %s [--port P] [--stations S] [--days D] [--connections C]\n"
                         "          [--end-ms MS] [--fields read|full]\n",
                         argv[0]);
            return 2;
        }
    }
    if (options.endMs == 0)
        options.endMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count() /
                        1000 * 1000;
    const auto start = std::chrono::steady_clock::now();
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < options.connections; ++c) {
        threads.emplace_back([&] {
            Connection connection(options.port);
            for (int station = next++; station < options.stations; station = next++)
                writeStation(connection, options, station);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("lines %lld samples %lld seconds %.1f\n", (long long)linesWritten.load(),
                (long long)samplesWritten.load(), seconds);
    return 0;
}
