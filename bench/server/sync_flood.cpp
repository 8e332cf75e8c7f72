// One client floods weekleaf-sync with pipelined requests (and, in one case, reads everything it
// asked for) while another client keeps asking for its note. Prints, per flood case, the service's
// resident memory before, at its peak and after the client left, how long it took to come back near
// its base, and the other client's slowest answer. Each case runs against a fresh service on loopback.
#include <cstdio>
#include <string>

#include "ServerFlood.h"
#include "TempDir.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sync_flood PATH-TO-weekleaf-sync [--sync full|normal]\n");
        return 2;
    }
    const std::string durability = argc >= 4 && std::string(argv[2]) == "--sync" ? argv[3] : "full";
    std::printf("%-26s %9s %9s %9s %9s %10s %11s %9s\n", "flood case", "base MiB", "peak MiB", "growth",
                "after MiB", "back in s", "other max ms", "requests");
    for (const wl::test::TFloodCase& c : wl::test::FloodCases(std::chrono::milliseconds(0))) {
        wl::test::TTempDir dir;
        // The address-space cap keeps a service gone wild from taking the machine down with it.
        wl::test::TServerProcess service(argv[1], dir.File("sync.db"), {"--sync", durability},
                                         std::size_t{3} << 30);
        if (service.Port() == 0) {
            std::fprintf(stderr, "%s did not start\n", argv[1]);
            return 1;
        }
        const wl::test::TFloodFigures f = wl::test::RunFlood(c, service);
        const auto mib = [](long kb) { return static_cast<double>(kb) / 1024.0; };
        std::printf("%-26s %9.1f %9.1f %9.1f %9.1f %10s %11.1f %9lld%s%s\n", c.Name, mib(f.BaseKb),
                    mib(f.PeakKb), mib(f.PeakKb - f.BaseKb), mib(f.SettledKb),
                    f.BackAfterS < 0 ? "no" : std::to_string(f.BackAfterS).substr(0, 5).c_str(), f.OtherMaxMs,
                    f.RequestsSent,
                    f.OtherMissed > 0 ? (" other unanswered " + std::to_string(f.OtherMissed)).c_str() : "",
                    c.Reads ? (" answers read " + std::to_string(f.Answers)).c_str() : "");
        std::fflush(stdout);
        service.Stop();
    }
    return 0;
}
