#pragma once
// One client floods a running weekleaf-sync with pipelined requests while another client keeps
// asking for its note; measures the service's resident memory, the other client's waits and what
// became of the flooding connection. Shared by the flood test and the flood benchmark. Loopback only,
// every phase bounded in time.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "ClientRequests.h"
#include "RawSocket.h"
#include "ServerProcess.h"
#include "TestClient.h"

namespace wl::test {

struct TFloodCase {
    const char* Name = "";
    std::size_t DayBytes = 0;     // a day of this size is stored first; the flood asks for it (GET_DAY)
    std::size_t SetDayBytes = 0;  // > 0: the flood writes days of this size instead (SET_DAY)
    int Requests = 0;             // requests in the burst, sent in one go
    std::chrono::milliseconds RepeatFor{0};  // > 0: the burst is sent again and again for this long
    bool Reads = false;                      // the flooding client reads every answer
    std::chrono::milliseconds Linger{0};     // it then stays, neither reading nor leaving, this long at most
};

inline void PrintTo(const TFloodCase& c, std::ostream* out) {
    *out << c.Name;
}

struct TFloodFigures {
    long BaseKb = 0;         // the service's resident memory before the flood
    long PeakKb = 0;         // its highest resident memory from then on (VmHWM at the end)
    long SettledKb = 0;      // its resident memory when the measurement ended
    double BackAfterS = -1;  // seconds from the client leaving until the memory was near the base again
    double OtherMaxMs = 0;   // the other client's slowest answer during the flood and after it
    int OtherAnswers = 0;
    int OtherMissed = 0;  // its requests left unanswered for 5 s
    long long RequestsSent = 0;
    int Answers = 0;                    // answers the flooding client read
    bool ClosedWhileLingering = false;  // the service closed the flooding connection itself
    bool WritesKept = true;             // SET_DAY floods: the last day written is there afterwards
};

// "Near the base": within this much of the memory before the flood.
inline constexpr long kNearBaseKb = 16 * 1024;

namespace flood_detail {

inline const char* const kKey = "flood";
inline const char* const kDay = "05.01.2021";

inline std::string DayKeyAt(int index) {
    const int day = 1 + index % 28, month = 1 + (index / 28) % 12, year = 2021 + index / (28 * 12);
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", day, month, year);
    return text;
}

inline std::string Burst(const TFloodCase& c) {
    std::string bytes;
    const std::string html(c.SetDayBytes, 'w');
    for (int i = 0; i < c.Requests; ++i)
        bytes += MaskedTextFrame(c.SetDayBytes > 0 ? SetDayRequest(kKey, DayKeyAt(i), html, 1609840000)
                                                   : GetDayRequest(kKey, kDay));
    return bytes;
}

// Asks for a note every 20 ms on another key and keeps the slowest answer.
class TOtherClient {
  public:
    explicit TOtherClient(std::uint16_t port) : client_(port) {
        thread_ = std::thread([this] {
            while (!stop_) {
                const auto sent = std::chrono::steady_clock::now();
                client_.Send(GetRequest("GET_NOTE", "other"));
                if (client_.Receive(std::chrono::seconds(5))) {
                    const std::chrono::duration<double, std::milli> waited =
                        std::chrono::steady_clock::now() - sent;
                    maxMs_ = std::max(maxMs_.load(), waited.count());
                    ++answers_;
                } else {
                    ++missed_;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~TOtherClient() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void Report(TFloodFigures& figures) const {
        figures.OtherMaxMs = maxMs_;
        figures.OtherAnswers = answers_;
        figures.OtherMissed = missed_;
    }

  private:
    TTestClient client_;
    std::atomic<bool> stop_{false};
    std::atomic<double> maxMs_{0};
    std::atomic<int> answers_{0}, missed_{0};
    std::thread thread_;
};

}  // namespace flood_detail

// Runs one case against a service that holds nothing for the keys used here.
inline TFloodFigures RunFlood(const TFloodCase& c, const TServerProcess& service) {
    using namespace flood_detail;
    using Clock = std::chrono::steady_clock;
    const auto port = static_cast<std::uint16_t>(service.Port());
    TFloodFigures figures;
    if (c.DayBytes > 0) {
        TTestClient setup(port);
        setup.Send(SetDayRequest(kKey, kDay, std::string(c.DayBytes, 'd'), 1609840000));
        setup.Send(GetDayRequest(kKey, kDay));
        setup.Receive(std::chrono::seconds(10));  // the day is stored
    }
    TOtherClient other(port);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    figures.BaseKb = service.StatusKb("VmRSS");
    const int descriptorsBefore = service.OpenDescriptors();

    {
        const std::string burst = Burst(c);  // before connecting: the service's idle time-out may be short
        const std::size_t frameBytes = burst.size() / static_cast<std::size_t>(c.Requests);
        TRawSocket flooder(port, c.Reads ? 0 : 4096);
        if (!flooder.Connected() || !flooder.Handshake(port)) return figures;
        std::atomic<bool> burstSent{false};
        std::thread reader;
        if (c.Reads)
            reader = std::thread([&] {
                while (figures.Answers < c.Requests) {
                    const auto opcode = flooder.SkipFrame();
                    if (!opcode) break;
                    if (*opcode == 1) ++figures.Answers;
                    // Keeps the connection alive once the requests are all out (never inside a request).
                    if (*opcode == 9 && burstSent) flooder.Write(MaskedFrame({}, 10));
                }
            });
        const auto floodEnd =
            Clock::now() + (c.RepeatFor.count() > 0 ? c.RepeatFor : std::chrono::seconds(10));
        do {
            figures.RequestsSent += static_cast<long long>(flooder.WriteUntil(burst, floodEnd) / frameBytes);
        } while (c.RepeatFor.count() > 0 && Clock::now() < floodEnd);
        burstSent = true;
        if (reader.joinable()) reader.join();
        for (const auto lingerEnd = Clock::now() + c.Linger; Clock::now() < lingerEnd;) {
            if (service.OpenDescriptors() < descriptorsBefore + 1) {
                figures.ClosedWhileLingering = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    const auto left = Clock::now();
    while (Clock::now() - left < std::chrono::seconds(10)) {
        if (service.StatusKb("VmRSS") <= figures.BaseKb + kNearBaseKb) {
            figures.BackAfterS = std::chrono::duration<double>(Clock::now() - left).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    other.Stop();
    other.Report(figures);
    figures.SettledKb = service.StatusKb("VmRSS");
    figures.PeakKb = service.StatusKb("VmHWM");
    if (c.SetDayBytes > 0) {
        // The service may still be applying what the client sent before it left (on PostgreSQL each
        // write is a round trip to the database server).
        TTestClient check(port);
        figures.WritesKept = false;
        for (const auto end = Clock::now() + std::chrono::seconds(30);
             !figures.WritesKept && Clock::now() < end;) {
            check.Send(GetDayRequest(kKey, DayKeyAt(c.Requests - 1)));
            const auto answer = check.Receive(std::chrono::seconds(5));
            figures.WritesKept = answer && answer->starts_with(R"({"ACTION":"RES_GET_DAY")");
            if (!figures.WritesKept) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return figures;
}

// The flood cases: floods that once drove the service's memory into gigabytes and a client that
// reads everything it asked for in one go.
inline std::vector<TFloodCase> FloodCases(std::chrono::milliseconds linger) {
    using std::chrono::milliseconds;
    return {
        {"getday_100k_burst_unread", 100 * 1024, 0, 3000, milliseconds(0), false, linger},
        {"getday_100k_1s_unread", 100 * 1024, 0, 3000, milliseconds(1000), false, milliseconds(0)},
        {"getday_3m_1s_unread", 3 * 1024 * 1024, 0, 3000, milliseconds(1000), false, milliseconds(0)},
        {"getday_100k_2000_read", 100 * 1024, 0, 2000, milliseconds(0), true, milliseconds(0)},
        {"setday_20k_4000_burst", 0, 20 * 1024, 4000, milliseconds(0), false, milliseconds(0)},
    };
}

}  // namespace wl::test
