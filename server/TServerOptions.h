#pragma once
// Command line and config file of weekleaf-sync and the limits they set.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ServerLog.h"
#include "TSyncStore.h"

namespace wl {

struct TServerOptions {
    std::string Host = "127.0.0.1";
    std::uint16_t Port = 3000;  // 0 picks a free port (printed at start)
    // An SQLite file path, or a "postgresql://" URI without a password.
    std::string DbPath = "weekleaf-sync.db";
    // The database password, read from --db-password-file; empty: libpq's own (PGPASSWORD, PGPASSFILE).
    std::string DbPassword;
    // The load balancer's health check (HTTP GET /health); off while HealthHost is empty.
    std::string HealthHost;
    std::uint16_t HealthPort = 0;
    TSyncStore::TDurability Durability = TSyncStore::TDurability::Full;
    std::size_t MaxMessageBytes = 4u << 20;  // a larger incoming message closes the connection (1009)
    // Unsent bytes per connection: past half of it the connection's requests wait unread until its
    // client reads; pushes that take it past all of it drop the connection.
    std::size_t MaxQueueBytes = 16u << 20;
    // Pinged after half of it, closed after all of it in silence, or when its requests had to wait
    // unread that long (a client that does not read).
    std::chrono::seconds IdleTimeout{60};
    std::chrono::seconds HandshakeTimeout{10};
    std::size_t MaxConnections = 10000;
    // PEM files; both set: the service speaks TLS (wss) only.
    std::string TlsCert, TlsKey;
    // Messages read but not yet taken by the store thread; past this, every connection pauses reading
    // until the store thread has caught up (not on the command line).
    std::size_t MaxPendingBytes = 64u << 20;
    TLogLevel LogLevel = TLogLevel::Info;
};

struct TOptionsParse {
    bool Help = false;
    bool Version = false;
    std::string Error;  // empty when the command line (and its config file) was understood
    TServerOptions Options;
};

// Arguments without the program name. "--config FILE" reads FILE's "name = value" lines (the long
// options without their dashes; "#" starts a comment line) first, so that the command line wins.
TOptionsParse ParseServerOptions(const std::vector<std::string>& args);

// Applies a config file's text to `options`; returns "" or the first error, led by "FILE:LINE: ".
std::string ApplyServerConfigText(const std::string& text, const std::string& file, TServerOptions& options);

std::string ServerUsage();

}  // namespace wl
