// Load generator for a sync service on loopback: N WebSocket clients, two per key, each sending
// SET_DAY that the service pushes to the key's other client as UPDATE_DAY. With --port2 the two
// clients of a key sit on different service instances (one database behind both), so every push
// measured crosses from one instance to the other.
//
// Phases: connect and subscribe every client (then the service's memory per idle connection), a
// saturated phase (each client keeps a few writes in flight: the sustained rate) and a paced phase at a
// fixed total rate (push latency at that load). Push latency is measured from the send of a SET_DAY to
// the arrival of its UPDATE_DAY at the partner; both ends live in this process, so one clock serves.
// Everything is bounded in count and time and talks to 127.0.0.1 only.
#include <unistd.h>

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "TWsStream.h"

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

struct TOptions {
    std::uint16_t port = 0;
    std::uint16_t port2 = 0;  // a second instance: the odd clients connect there
    int pid = 0;              // the service's process, for its memory
    // --cpu NAME=PID+PID..: processes whose CPU time is reported together as NAME (say every process
    // of the database); the service's processes and these make up the CPU per SET_DAY.
    std::vector<std::pair<std::string, std::vector<int>>> cpuGroups;
    int clients = 1000;  // even: two per key
    double seconds = 4;  // length of each measured phase
    int rate = 20000;    // SET_DAY per second in the paced phase
    int window = 4;      // writes in flight per client in the saturated phase
    std::string label = "service";
    std::string tlsCa;  // set: every client speaks TLS, trusting this CA
};

const Clock::time_point kStart = Clock::now();

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - kStart).count();
}

// User plus system time of a process so far, in seconds; 0 without one.
double ReadCpuSeconds(int pid) {
    if (pid <= 0) return 0;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto afterName = text.rfind(')');
    if (afterName == std::string::npos) return 0;
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; fields >> field && i <= 15; ++i) {
        if (i == 14) utime = std::atoll(field.c_str());
        if (i == 15) stime = std::atoll(field.c_str());
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

long ReadRssKb(int pid) {
    if (pid <= 0) return 0;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string word;
    while (status >> word)
        if (word == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
    return 0;
}

// "dd.mm.yyyy" of this week's Monday plus `offset` days.
std::string DayKey(int offset) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int fromMonday = (local.tm_wday + 6) % 7;
    local.tm_mday += offset - fromMonday;
    local.tm_hour = 12;
    std::mktime(&local);
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
    return text;
}

struct TClient {
    TClient(net::io_context& io, net::ssl::context* tls) : ws(io, tls) {}
    wl::TWsStream ws;
    beast::flat_buffer input;
    std::deque<std::string> output;
    int index = 0;
    int inFlight = 0;  // SET_DAYs not yet pushed to the partner
    bool writing = false;
    bool ready = false;  // subscribed: the first answer arrived
    bool failed = false;
    std::string prefix, suffix;  // the SET_DAY text around the send time
};

struct TPhaseFigures {
    double seconds = 0;
    long long delivered = 0;
    double serviceCpuSeconds = 0;         // the service's user + system time while measuring
    std::vector<double> groupCpuSeconds;  // the same for each --cpu group, then for this load generator
    std::vector<std::uint32_t> latencyUs;
    double Rate() const { return seconds > 0 ? delivered / seconds : 0; }
    // The service's CPU time per SET_DAY delivered, in microseconds: what TLS costs the service
    // alone, whatever the load generator (on the same cores) spends on its side.
    double ServiceCpuUs() const { return delivered > 0 ? serviceCpuSeconds * 1e6 / delivered : 0; }
    // Every --cpu group's time (not the load generator's) per SET_DAY.
    double GroupsCpuUs() const {
        double total = 0;
        for (std::size_t i = 0; i + 1 < groupCpuSeconds.size(); ++i) total += groupCpuSeconds[i];
        return delivered > 0 ? total * 1e6 / delivered : 0;
    }
    double PercentileMs(double p) {
        if (latencyUs.empty()) return 0;
        const auto nth = latencyUs.begin() + static_cast<long>(p * (latencyUs.size() - 1));
        std::nth_element(latencyUs.begin(), nth, latencyUs.end());
        return *nth / 1000.0;
    }
};

class TLoad {
  public:
    explicit TLoad(const TOptions& options) : options_(options), pacer_(io_) {
        if (!options_.tlsCa.empty()) {
            tls_.emplace(net::ssl::context::tls_client);
            tls_->load_verify_file(options_.tlsCa);
            tls_->set_verify_mode(net::ssl::verify_peer);
        }
        const std::string days[2] = {DayKey(0), DayKey(1)};
        const std::string stamp = std::to_string(std::time(nullptr));
        for (int i = 0; i < options_.clients; ++i) {
            auto client = std::make_unique<TClient>(io_, tls_ ? &*tls_ : nullptr);
            client->index = i;
            const std::string key = "bench-key-" + std::to_string(i / 2);
            client->prefix =
                "{\"ACTION\":\"SET_DAY\",\"KEY\":\"" + key + "\",\"" + days[i & 1] + "\":\"<p>sent ";
            client->suffix = " ns</p>\",\"timestamp\":\"" + stamp + "\"}";
            clients_.push_back(std::move(client));
        }
    }

    // Connects and subscribes every client, a bounded number of handshakes at a time.
    bool ConnectAll() {
        for (int i = 0; i < std::min(kConnectBatch, options_.clients); ++i) ConnectNext();
        RunFor(std::chrono::seconds(60), [&] { return ready_ + failed_ == options_.clients; });
        return ready_ == options_.clients;
    }

    void Settle(std::chrono::milliseconds time) {
        RunFor(time, [] { return false; });
    }

    TPhaseFigures Saturate() {
        mode_ = Mode::Saturate;
        for (auto& client : clients_) FillWindow(*client);
        return Measure();
    }

    TPhaseFigures Paced() {
        mode_ = Mode::Paced;
        paceStart_ = Clock::now();
        paced_ = 0;
        Pace();
        return Measure();
    }

    int Failed() const { return failed_; }

  private:
    enum class Mode { Idle, Saturate, Paced };
    static constexpr int kConnectBatch = 64;
    static constexpr int kPacedInFlightCap = 16;

    template <class Done>
    void RunFor(Clock::duration time, Done done) {
        const auto deadline = Clock::now() + time;
        while (!done() && Clock::now() < deadline) {
            io_.restart();
            io_.run_one_until(deadline);
        }
    }

    TPhaseFigures Measure() {
        Settle(std::chrono::milliseconds(500));  // warm-up
        recording_ = true;
        figures_ = {};
        figures_.latencyUs.reserve(static_cast<std::size_t>(options_.seconds * 100000));
        const auto start = Clock::now();
        const double cpuStart = ReadCpuSeconds(options_.pid);
        const std::vector<double> groupsStart = ReadGroupsCpu();
        Settle(std::chrono::milliseconds(static_cast<long>(options_.seconds * 1000)));
        figures_.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        figures_.serviceCpuSeconds = ReadCpuSeconds(options_.pid) - cpuStart;
        figures_.groupCpuSeconds = ReadGroupsCpu();
        for (std::size_t i = 0; i < groupsStart.size(); ++i) figures_.groupCpuSeconds[i] -= groupsStart[i];
        recording_ = false;
        mode_ = Mode::Idle;
        pacer_.cancel();
        RunFor(std::chrono::seconds(5), [&] { return TotalInFlight() == 0; });  // drain
        return std::move(figures_);
    }

    // The CPU seconds of each --cpu group so far, and last this process's own.
    std::vector<double> ReadGroupsCpu() const {
        std::vector<double> seconds;
        for (const auto& [name, pids] : options_.cpuGroups) {
            double sum = 0;
            for (const int pid : pids) sum += ReadCpuSeconds(pid);
            seconds.push_back(sum);
        }
        seconds.push_back(ReadCpuSeconds(getpid()));
        return seconds;
    }

    long TotalInFlight() const {
        long total = 0;
        for (const auto& client : clients_) total += client->inFlight;
        return total;
    }

    void ConnectNext() {
        if (nextConnect_ >= options_.clients) return;
        TClient& client = *clients_[nextConnect_++];
        const std::uint16_t port =
            options_.port2 != 0 && client.index % 2 == 1 ? options_.port2 : options_.port;
        client.ws.Socket().async_connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port),
                                         [this, &client, port](beast::error_code ec) {
                                             if (ec) return Fail(client);
                                             client.ws.Socket().set_option(tcp::no_delay(true));
                                             client.ws.AsyncStart(
                                                 net::ssl::stream_base::client, std::chrono::seconds(30),
                                                 [this, &client, port](beast::error_code tlsError) {
                                                     if (tlsError) return Fail(client);
                                                     Handshake(client, port);
                                                 });
                                         });
    }

    void Handshake(TClient& client, std::uint16_t port) {
        client.ws.Visit([this, &client, port](auto& ws) {
            ws.secure_prng(false);
            ws.auto_fragment(false);
            ws.async_handshake("127.0.0.1:" + std::to_string(port), "/",
                               [this, &client](beast::error_code handshakeError) {
                                   if (handshakeError) return Fail(client);
                                   Read(client);
                                   Send(client, "{\"ACTION\": \"GET_CURRENT_WEEK\",\"KEY\"   : \"bench-key-" +
                                                    std::to_string(client.index / 2) + "\"}");
                               });
        });
    }

    void Fail(TClient& client) {
        if (client.failed) return;
        client.failed = true;
        ++failed_;
        if (!client.ready) ConnectNext();
    }

    void Read(TClient& client) {
        client.ws.Visit([this, &client](auto& ws) {
            ws.async_read(client.input, [this, &client](beast::error_code ec, std::size_t) {
                if (ec) return Fail(client);
                const auto data = client.input.cdata();
                OnMessage(client, std::string_view(static_cast<const char*>(data.data()), data.size()));
                client.input.consume(client.input.size());
                Read(client);
            });
        });
    }

    void OnMessage(TClient& client, std::string_view text) {
        if (!client.ready) {
            client.ready = true;
            ++ready_;
            ConnectNext();
            return;
        }
        if (text.find("UPDATE_DAY") == std::string_view::npos) return;
        const auto at = text.find("<p>sent ");
        if (at == std::string_view::npos) return;
        const long long sent = std::atoll(text.data() + at + 8);
        TClient& sender = *clients_[client.index ^ 1];
        if (sender.inFlight > 0) --sender.inFlight;
        if (recording_) {
            ++figures_.delivered;
            figures_.latencyUs.push_back(static_cast<std::uint32_t>((NowNs() - sent) / 1000));
        }
        if (mode_ == Mode::Saturate) FillWindow(sender);
    }

    void FillWindow(TClient& client) {
        while (!client.failed && client.inFlight < options_.window) SendSetDay(client);
    }

    void SendSetDay(TClient& client) {
        ++client.inFlight;
        Send(client, client.prefix + std::to_string(NowNs()) + client.suffix);
    }

    // Sends what the total rate allows so far, round robin; a client already far behind is skipped.
    void Pace() {
        if (mode_ != Mode::Paced) return;
        const double elapsed = std::chrono::duration<double>(Clock::now() - paceStart_).count();
        const long long due = static_cast<long long>(elapsed * options_.rate);
        for (int tries = 0; paced_ < due && tries < 4 * options_.clients; ++tries) {
            TClient& client = *clients_[nextPaced_];
            nextPaced_ = (nextPaced_ + 1) % options_.clients;
            if (client.failed || client.inFlight >= kPacedInFlightCap) continue;
            SendSetDay(client);
            ++paced_;
        }
        paced_ = std::max(paced_, due);  // what could not go out is not owed later
        pacer_.expires_after(std::chrono::microseconds(500));
        pacer_.async_wait([this](beast::error_code ec) {
            if (!ec) Pace();
        });
    }

    void Send(TClient& client, std::string text) {
        client.output.push_back(std::move(text));
        if (!client.writing) WriteNext(client);
    }

    void WriteNext(TClient& client) {
        client.writing = true;
        client.ws.Visit([this, &client](auto& ws) {
            ws.async_write(net::buffer(client.output.front()),
                           [this, &client](beast::error_code ec, std::size_t) {
                               client.writing = false;
                               if (ec) return Fail(client);
                               client.output.pop_front();
                               if (!client.output.empty()) WriteNext(client);
                           });
        });
    }

    TOptions options_;
    std::optional<net::ssl::context> tls_;
    net::io_context io_{1};
    net::steady_timer pacer_;
    std::vector<std::unique_ptr<TClient>> clients_;
    int nextConnect_ = 0, ready_ = 0, failed_ = 0, nextPaced_ = 0;
    Mode mode_ = Mode::Idle;
    bool recording_ = false;
    TPhaseFigures figures_;
    Clock::time_point paceStart_;
    long long paced_ = 0;
};

bool ParseOptions(int argc, char** argv, TOptions& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--port")
            options.port = static_cast<std::uint16_t>(std::stoi(value));
        else if (name == "--port2")
            options.port2 = static_cast<std::uint16_t>(std::stoi(value));
        else if (name == "--pid")
            options.pid = std::stoi(value);
        else if (name == "--cpu") {
            const auto equals = value.find('=');
            if (equals == std::string::npos) return false;
            std::vector<int> pids;
            std::istringstream list(value.substr(equals + 1));
            for (std::string pid; std::getline(list, pid, '+');)
                if (!pid.empty()) pids.push_back(std::stoi(pid));
            options.cpuGroups.emplace_back(value.substr(0, equals), std::move(pids));
        } else if (name == "--clients")
            options.clients = std::max(2, std::stoi(value) / 2 * 2);
        else if (name == "--seconds")
            options.seconds = std::min(30.0, std::stod(value));
        else if (name == "--rate")
            options.rate = std::stoi(value);
        else if (name == "--window")
            options.window = std::max(1, std::stoi(value));
        else if (name == "--label")
            options.label = value;
        else if (name == "--tls-ca")
            options.tlsCa = value;
        else
            return false;
    }
    return options.port != 0;
}

}  // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: sync_load --port P [--port2 P2] [--pid PID] [--cpu NAME=PID+PID..].. "
                     "[--clients 1000] [--seconds 4] "
                     "[--rate 20000] "
                     "[--window 4] [--label NAME] [--tls-ca CA.pem]\n");
        return 2;
    }
    TLoad load(options);
    const long rssBefore = ReadRssKb(options.pid);
    if (!load.ConnectAll()) {
        std::fprintf(stderr, "%s: only %d of %d clients connected\n", options.label.c_str(),
                     options.clients - load.Failed(), options.clients);
        return 1;
    }
    load.Settle(std::chrono::milliseconds(500));
    const long rssAfter = ReadRssKb(options.pid);
    const double kbPerConnection = rssBefore > 0 ? double(rssAfter - rssBefore) / options.clients : 0;

    TPhaseFigures saturated = load.Saturate();
    TPhaseFigures paced = load.Paced();
    std::printf("%s: %d clients on %d keys; idle memory %.1f KB per connection (RSS %ld -> %ld KB)\n",
                options.label.c_str(), options.clients, options.clients / 2, kbPerConnection, rssBefore,
                rssAfter);
    std::printf(
        "%s: saturated (%d in flight per client): %.0f SET_DAY/s pushed, latency p50 %.2f ms, p99 %.2f ms, "
        "service CPU %.1f us per SET_DAY\n",
        options.label.c_str(), options.window, saturated.Rate(), saturated.PercentileMs(0.5),
        saturated.PercentileMs(0.99), saturated.ServiceCpuUs());
    std::printf("%s: paced at %d/s: %.0f SET_DAY/s pushed, latency p50 %.2f ms, p99 %.2f ms\n",
                options.label.c_str(), options.rate, paced.Rate(), paced.PercentileMs(0.5),
                paced.PercentileMs(0.99));
    if (!options.cpuGroups.empty()) {
        std::printf("%s: cores used while saturated:", options.label.c_str());
        for (std::size_t i = 0; i < saturated.groupCpuSeconds.size(); ++i)
            std::printf(" %s %.2f",
                        i < options.cpuGroups.size() ? options.cpuGroups[i].first.c_str() : "sync_load",
                        saturated.groupCpuSeconds[i] / saturated.seconds);
        std::printf("; CPU %.1f us per SET_DAY (all but sync_load)\n", saturated.GroupsCpuUs());
    }
    std::printf(
        "RESULT label=%s max_rate=%.0f max_p50_ms=%.3f max_p99_ms=%.3f paced_rate=%.0f paced_p50_ms=%.3f "
        "paced_p99_ms=%.3f kb_per_conn=%.2f cpu_us=%.2f all_cpu_us=%.2f failed=%d\n",
        options.label.c_str(), saturated.Rate(), saturated.PercentileMs(0.5), saturated.PercentileMs(0.99),
        paced.Rate(), paced.PercentileMs(0.5), paced.PercentileMs(0.99), kbPerConnection,
        saturated.ServiceCpuUs(), saturated.GroupsCpuUs(), load.Failed());
    return 0;
}
