// A synthetic site for the site view's benchmarks: N stations on P station PCs (prefixes
// <base>/p1 ... <base>/pP, 8 stations each, the last one holding what is left), one state per
// station per interval, spread evenly over the interval, with the JSON a station program
// publishes. Each PC is a client of its own, with its status "online" retained and "offline" as
// its will; on every connection it publishes its status, every station's availability "online"
// and every station's last state again, as a station program does. Runs until SIGTERM/SIGINT or
// --seconds, then publishes each status "offline".
//
// --record FILE: one line per state handed to the library,
// "<CLOCK_MONOTONIC ms>;<prefix>;<station>;<speed>;<battery>" (speed as in the JSON, "null" when
// over the limit), the clock the site view's trace uses.
#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr int kSpeedMaxTenths = 400;
constexpr int kPreset1Tenths = 150;
constexpr int kPreset2Tenths = 250;
// One state in this many says "> LIMITE" (speed null), so the view meets that form too.
constexpr int kOverLimitOneIn = 500;
const char* const kCompass[16] = {"N", "NNE", "NE", "ENE", "L", "ESE", "SE", "SSE",
                                  "S", "SSO", "SO", "OSO", "O", "ONO", "NO", "NNO"};

std::atomic<bool> stopRequested{false};

struct Options {
    std::string host = "127.0.0.1";
    int port = 1883;
    int stations = 500;
    int perPrefix = 8;
    std::string base = "synth";
    int intervalMs = 1000;
    double seconds = 0; // 0: until a stop signal
    std::string record;
    unsigned seed = 1;
    bool listPrefixes = false;
};

[[noreturn]] void usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--host H] [--port P] [--stations N] [--per-prefix K] [--base B]\n"
                 "          [--interval-ms MS] [--seconds S] [--record FILE] [--seed S]\n"
                 "          [--list-prefixes]\n",
                 program);
    std::exit(2);
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--list-prefixes") {
            options.listPrefixes = true;
            continue;
        }
        if (i + 1 >= argc)
            usage(argv[0]);
        const char* value = argv[++i];
        if (name == "--host")
            options.host = value;
        else if (name == "--port")
            options.port = std::atoi(value);
        else if (name == "--stations")
            options.stations = std::atoi(value);
        else if (name == "--per-prefix")
            options.perPrefix = std::atoi(value);
        else if (name == "--base")
            options.base = value;
        else if (name == "--interval-ms")
            options.intervalMs = std::atoi(value);
        else if (name == "--seconds")
            options.seconds = std::atof(value);
        else if (name == "--record")
            options.record = value;
        else if (name == "--seed")
            options.seed = unsigned(std::strtoul(value, nullptr, 10));
        else
            usage(argv[0]);
    }
    if (options.stations < 1 || options.perPrefix < 1 || options.intervalMs < 1 || options.port < 1)
        usage(argv[0]);
    return options;
}

double monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

// "2026-12-07T14:30:05-03:00": local time with its offset, as the station program writes it.
std::string isoTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offsetMin = local.tm_gmtoff / 60;
    std::snprintf(text + length, sizeof text - length, "%c%02ld:%02ld", offsetMin < 0 ? '-' : '+',
                  std::labs(offsetMin) / 60, std::labs(offsetMin) % 60);
    return text;
}

// A tenths or hundredths value as JSON writes it: 12.3, 5 (not 5.0), 3.88.
std::string decimal(int value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value / std::pow(10.0, decimals));
    std::string out = text;
    if (out.find('.') != std::string::npos) {
        out.erase(out.find_last_not_of('0') + 1);
        if (out.back() == '.')
            out.pop_back();
    }
    return out;
}

struct Station {
    int number = 0;
    int speedTenths = 0;
    int batteryHundredths = 400;
    int direction = 0;
    bool overLimit = false;
    std::string lastState;
};

// The next reading of a station: the wind moves by 0.1 to 3.0 each time (never stays, so that
// consecutive states differ), the battery drifts slowly, the direction now and then.
void advance(Station& station, std::mt19937& random) {
    std::uniform_int_distribution<int> step(1, 30);
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> oneIn(0, kOverLimitOneIn - 1);
    int speed = station.speedTenths + (coin(random) ? step(random) : -step(random));
    if (speed < 0 || speed > kSpeedMaxTenths)
        speed = station.speedTenths + (speed < 0 ? step(random) : -step(random));
    station.speedTenths = std::clamp(speed, 0, kSpeedMaxTenths);
    station.overLimit = oneIn(random) == 0;
    if (oneIn(random) < 50)
        station.batteryHundredths =
            std::clamp(station.batteryHundredths + (coin(random) ? 1 : -1), 340, 420);
    if (oneIn(random) < 25)
        station.direction = (station.direction + (coin(random) ? 1 : 15)) % 16;
}

std::string speedText(const Station& station) {
    return station.overLimit ? "null" : decimal(station.speedTenths, 1);
}

// The keys in the order the station program's JSON has them (sorted).
std::string stateJson(const Station& station) {
    const bool alarm1 = !station.overLimit && station.speedTenths >= kPreset1Tenths;
    const bool alarm2 = !station.overLimit && station.speedTenths >= kPreset2Tenths;
    const auto flag = [](bool on) { return on ? "true" : "false"; };
    std::string json = "{\"address\":\"" + std::to_string(station.number) + "\"";
    json += ",\"battery\":" + decimal(station.batteryHundredths, 2);
    json += std::string(",\"direction\":\"") + kCompass[station.direction] + "\"";
    json += ",\"name\":\"ANEMÔMETRO " + std::to_string(station.number) + "\"";
    json += ",\"preset1\":" + decimal(kPreset1Tenths, 1);
    json += std::string(",\"preset1_alarm\":") + flag(alarm1);
    json += ",\"preset2\":" + decimal(kPreset2Tenths, 1);
    json += std::string(",\"preset2_alarm\":") + flag(alarm2);
    json += ",\"rf\":true";
    json += std::string(",\"sound\":") + flag(alarm1 || alarm2);
    json += ",\"speed\":" + speedText(station);
    if (station.overLimit)
        json += ",\"speed_over_limit\":true";
    json += ",\"station\":" + std::to_string(station.number);
    json += ",\"time\":\"" + isoTimeNow() + "\"";
    json += ",\"unit\":\"m/s\"}";
    return json;
}

// One station PC: its prefix, its stations and its connection.
class StationPc {
public:
    StationPc(std::string prefix, int stations, int firstDirection)
        : prefix_(std::move(prefix)), statusTopic_(prefix_ + "/status") {
        for (int n = 1; n <= stations; ++n) {
            Station& station = stations_.emplace_back();
            station.number = n;
            station.speedTenths = (n * 37) % 200;
            station.batteryHundredths = 380 + n;
            station.direction = (firstDirection + n) % 16;
        }
    }
    ~StationPc() {
        if (handle_)
            mosquitto_destroy(handle_);
    }
    StationPc(const StationPc&) = delete;
    StationPc& operator=(const StationPc&) = delete;

    const std::string& prefix() const { return prefix_; }
    std::vector<Station>& stations() { return stations_; }

    bool start(const Options& options) {
        std::string clientId = prefix_ + "-synthetic";
        std::replace(clientId.begin(), clientId.end(), '/', '-');
        handle_ = mosquitto_new(clientId.c_str(), true, this);
        if (!handle_)
            return false;
        mosquitto_will_set(handle_, statusTopic_.c_str(), 7, "offline", 1, true);
        // Each state leaves when it is due: Nagle's algorithm would hold the PC's next ones
        // until the broker's delayed acknowledgement, up to 40 ms.
        mosquitto_int_option(handle_, MOSQ_OPT_TCP_NODELAY, 1);
        // Back soon after a broker restart: the benchmark times the site view, not this.
        mosquitto_reconnect_delay_set(handle_, 1, 1, false);
        mosquitto_connect_callback_set(handle_, &StationPc::onConnect);
        const int code = mosquitto_connect_async(handle_, options.host.c_str(), options.port, 30);
        if (code != MOSQ_ERR_SUCCESS)
            std::fprintf(stderr, "site_publisher: %s: %s (retrying)\n", prefix_.c_str(),
                         mosquitto_strerror(code));
        return mosquitto_loop_start(handle_) == MOSQ_ERR_SUCCESS;
    }

    // Publishes the station's new state; false when the library refused it (no connection).
    bool publishState(Station& station) {
        const std::string topic = prefix_ + "/" + std::to_string(station.number) + "/state";
        std::lock_guard lock(mutex_);
        station.lastState = stateJson(station);
        return send(topic, station.lastState, 0);
    }

    void sayOffline() {
        std::lock_guard lock(mutex_);
        send(statusTopic_, "offline", 1);
    }

    void disconnect() {
        mosquitto_disconnect(handle_);
        mosquitto_loop_stop(handle_, false);
    }

private:
    bool send(const std::string& topic, const std::string& payload, int qos) {
        return mosquitto_publish(handle_, nullptr, topic.c_str(), int(payload.size()),
                                 payload.data(), qos, true) == MOSQ_ERR_SUCCESS;
    }

    static void onConnect(mosquitto*, void* self, int code) {
        auto* pc = static_cast<StationPc*>(self);
        if (code != 0)
            return;
        std::lock_guard lock(pc->mutex_);
        pc->send(pc->statusTopic_, "online", 1);
        for (const Station& station : pc->stations_) {
            const std::string topic = pc->prefix_ + "/" + std::to_string(station.number);
            pc->send(topic + "/availability", "online", 1);
            if (!station.lastState.empty())
                pc->send(topic + "/state", station.lastState, 0);
        }
    }

    std::string prefix_;
    std::string statusTopic_;
    std::vector<Station> stations_;
    mosquitto* handle_ = nullptr;
    std::mutex mutex_;
};

void requestStop(int) {
    stopRequested = true;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    const int pcs = (options.stations + options.perPrefix - 1) / options.perPrefix;
    std::vector<std::string> prefixes;
    for (int p = 1; p <= pcs; ++p)
        prefixes.push_back(options.base + "/p" + std::to_string(p));
    if (options.listPrefixes) {
        for (std::size_t p = 0; p < prefixes.size(); ++p)
            std::printf("%s%s", p ? "," : "", prefixes[p].c_str());
        std::printf("\n");
        return 0;
    }

    struct sigaction action {};
    action.sa_handler = requestStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::FILE* record = nullptr;
    if (!options.record.empty() && !(record = std::fopen(options.record.c_str(), "w"))) {
        std::perror(options.record.c_str());
        return 1;
    }
    mosquitto_lib_init();
    std::vector<std::unique_ptr<StationPc>> site;
    for (int p = 0; p < pcs; ++p) {
        const int stations = std::min(options.perPrefix, options.stations - p * options.perPrefix);
        site.push_back(std::make_unique<StationPc>(prefixes[std::size_t(p)], stations, p));
        if (!site.back()->start(options)) {
            std::fprintf(stderr, "site_publisher: cannot start the client of %s\n",
                         prefixes[std::size_t(p)].c_str());
            return 1;
        }
    }
    // Every station in the order it publishes within the interval: PC by PC.
    std::vector<std::pair<StationPc*, Station*>> order;
    for (auto& pc : site)
        for (Station& station : pc->stations())
            order.emplace_back(pc.get(), &station);

    std::mt19937 random(options.seed);
    using Clock = std::chrono::steady_clock;
    const auto slot = std::chrono::microseconds(options.intervalMs * 1000LL) / long(order.size());
    const auto start = Clock::now() + std::chrono::milliseconds(500); // time to connect
    const auto end = start + std::chrono::microseconds(std::llround(options.seconds * 1e6));
    long long published = 0, refused = 0;
    for (long long round = 0; !stopRequested; ++round) {
        for (std::size_t k = 0; k < order.size() && !stopRequested; ++k) {
            const auto due =
                start + std::chrono::milliseconds(options.intervalMs) * round + slot * long(k);
            if (options.seconds > 0 && due >= end) {
                stopRequested = true;
                break;
            }
            std::this_thread::sleep_until(due);
            auto [pc, station] = order[k];
            advance(*station, random);
            const double handedMs = monotonicMs();
            if (!pc->publishState(*station)) {
                ++refused;
                continue;
            }
            ++published;
            if (record)
                std::fprintf(record, "%.1f;%s;%d;%s;%s\n", handedMs, pc->prefix().c_str(),
                             station->number, speedText(*station).c_str(),
                             decimal(station->batteryHundredths, 2).c_str());
        }
        if (record)
            std::fflush(record);
    }
    for (auto& pc : site)
        pc->sayOffline();
    // Time for the statuses to leave before the disconnections.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (auto& pc : site)
        pc->disconnect();
    site.clear();
    mosquitto_lib_cleanup();
    if (record)
        std::fclose(record);
    std::fprintf(stderr, "site_publisher: %lld states published, %lld refused (no connection)\n",
                 published, refused);
    return 0;
}
