// weekleaf-sync: the sync service program. Everything but the command line and the signals lives in
// the wl_server library.
#include <sys/resource.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "OpenSyncStore.h"
#include "OtherInstances.h"
#include "ServerLog.h"
#include "THealthCheck.h"
#include "TServerOptions.h"
#include "TSyncServer.h"
#include "TSyncService.h"
#include "TlsContext.h"
#include "platform/CommandLineText.h"

namespace {

constexpr const char* kProgram = "weekleaf-sync";

// Each connection holds a descriptor; use every one the system allows.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// Answers of several megabytes come and go with the clients that ask for them. glibc raises its
// mmap threshold each time such a block is freed, so later ones are carved from the heap and their
// pages can stay with the process long after the client left; a fixed threshold keeps every large
// buffer in its own mapping, handed back to the system when it is freed.
void ReturnLargeBuffersToTheSystem() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

using THealthCheckOrNone = std::unique_ptr<wl::THealthCheck>;

THealthCheckOrNone StartHealthCheck(boost::asio::io_context& io, const wl::TServerOptions& options,
                                    std::function<bool()> healthy) {
    if (options.HealthHost.empty()) return nullptr;
    auto health = std::make_unique<wl::THealthCheck>(io, std::move(healthy));
    const auto endpoint = health->Listen(options.HealthHost, options.HealthPort);
    std::printf("weekleaf-sync: health check on %s:%u\n", endpoint.address().to_string().c_str(),
                static_cast<unsigned>(endpoint.port()));
    return health;
}

}  // namespace

int main(int argc, char** argv) {
    const wl::TOptionsParse parsed = wl::ParseServerOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.Help || parsed.Version) {
        std::fputs((parsed.Help ? wl::ServerUsage() : wl::VersionText(kProgram)).c_str(), stdout);
        return 0;
    }
    if (!parsed.Error.empty()) {
        std::fputs(wl::UsageErrorLine(kProgram, parsed.Error).c_str(), stderr);
        return wl::kUsageExitCode;
    }
    wl::SetServerLogLevel(parsed.Options.LogLevel);
    RaiseDescriptorLimit();
    ReturnLargeBuffersToTheSystem();
    try {
        // Read first: a certificate that cannot be used stops the start before anything is created.
        const auto& options = parsed.Options;
        const auto tls =
            options.TlsCert.empty() ? nullptr : wl::MakeTlsContext(options.TlsCert, options.TlsKey);
        // A database server that is not up yet (started in parallel at boot, restarting) is waited for;
        // the port opens once the data can be served.
        const wl::TOpenedStore opened = wl::OpenSyncStoreWhenReachable(
            parsed.Options, [](const std::string& text) { wl::ServerLog(wl::TLogLevel::Warning, text); },
            [](std::chrono::seconds delay) { std::this_thread::sleep_for(delay); });
        wl::TSyncService service(*opened.Store);
        boost::asio::io_context io(1);
        wl::TSyncServer server(io, service, parsed.Options, tls.get());
        const std::unique_ptr<wl::TChangeListener> listener =
            wl::ListenToOtherInstances(opened, parsed.Options, server, service);
        const auto endpoint = server.Listen();
        // Printed before the listening line, which scripts take as "started".
        THealthCheckOrNone health = StartHealthCheck(
            io, parsed.Options, [&] { return server.Accepting() && (!listener || listener->Connected()); });
        boost::asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&](boost::system::error_code ec, int signal) {
            if (ec) return;
            wl::ServerLog(wl::TLogLevel::Info,
                          std::string("signal ") + std::to_string(signal) + ", closing connections");
            if (health) health->Stop();
            server.Shutdown();
        });
        // Scripts and tests read the bound port from this line (with --listen HOST:0 it is a free one).
        std::printf("weekleaf-sync: listening on %s:%u, database %s%s\n",
                    endpoint.address().to_string().c_str(), static_cast<unsigned>(endpoint.port()),
                    parsed.Options.DbPath.c_str(), tls ? ", TLS" : "");
        std::fflush(stdout);
        io.run();
        wl::ServerLog(wl::TLogLevel::Info, "stopped");
    } catch (const std::exception& e) {
        wl::ServerLog(wl::TLogLevel::Error, e.what());
        return 1;
    }
    return 0;
}
