#include "TChangeListener.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "ServerLog.h"

namespace wl {

namespace {

std::string ConnectionError(const PGconn* connection) {
    std::string text = connection ? PQerrorMessage(connection) : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// One statement whose result only matters as success or failure.
bool Exec(PGconn* connection, const char* sql, ExecStatusType expected) {
    PGresult* result = PQexec(connection, sql);
    const bool ok = PQresultStatus(result) == expected;
    PQclear(result);
    return ok;
}

// The server's notices (a shutdown under way, say) go to the service's log, not bare to stderr.
void LogNotice(void*, const char* message) {
    std::string text = message;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    ServerLog(TLogLevel::Info, "change listener: database says: " + text);
}

}  // namespace

TChangeListener::TChangeListener(std::string uri, std::string password, std::string ownInstance,
                                 THandlers handlers, TListenerBackoff backoff)
    : uri_(std::move(uri)),
      password_(std::move(password)),
      ownInstance_(std::move(ownInstance)),
      handlers_(std::move(handlers)),
      backoff_(backoff),
      wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      thread_([this] { Run(); }) {}

TChangeListener::~TChangeListener() {
    stopping_ = true;
    const std::uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) {
        // The thread still sees stopping_ at its next wake-up (at most one back-off pause away).
    }
    thread_.join();
    close(wake_);
}

void TChangeListener::Run() {
    std::chrono::milliseconds pause = backoff_.First;
    while (!Stopping()) {
        PGconn* connection = Connect();
        if (connection && Listen(connection)) {
            pause = backoff_.First;
            connected_ = true;
            Receive(connection);
            connected_ = false;
        }
        if (connection) PQfinish(connection);
        if (Stopping() || !Pause(pause)) return;
        pause = std::min(pause * 2, backoff_.Max);
    }
}

PGconn* TChangeListener::Connect() {
    // connect_timeout bounds how long a stop can wait behind an unanswered connection attempt; the
    // application name tells an operator (and pg_stat_activity) which instance's listener this is.
    const std::string name = "weekleaf-sync listener " + ownInstance_;
    const char* keys[] = {"dbname", "connect_timeout", "application_name", "password", nullptr};
    const char* values[] = {uri_.c_str(), "5", name.c_str(), password_.c_str(), nullptr};
    if (password_.empty()) keys[3] = nullptr;  // libpq's own sources: PGPASSWORD, the password file
    PGconn* connection = PQconnectdbParams(keys, values, 1);
    if (connection && PQstatus(connection) == CONNECTION_OK) {
        PQsetNoticeProcessor(connection, &LogNotice, nullptr);
        return connection;
    }
    ServerLog(TLogLevel::Warning, "change listener: cannot connect: " + ConnectionError(connection));
    PQfinish(connection);
    return nullptr;
}

// Listens first and only then looks at what may have been missed: a change committed in between is
// then both notified and re-read, never neither.
bool TChangeListener::Listen(PGconn* connection) {
    if (!Exec(connection, (std::string("LISTEN ") + kChannel).c_str(), PGRES_COMMAND_OK)) {
        ServerLog(TLogLevel::Warning, "change listener: LISTEN failed: " + ConnectionError(connection));
        return false;
    }
    if (!everConnected_) {
        everConnected_ = true;
        lastSeen_ = CurrentChangeNumber(connection);
        ServerLog("change listener: listening");
        return true;
    }
    const std::int64_t since = std::max<std::int64_t>(0, lastSeen_ - kResyncSlack);
    ServerLog("change listener: listening again, re-reading the changes after " + std::to_string(since));
    if (handlers_.Missed) handlers_.Missed(since);
    return true;
}

// Where the changes stand when the listener first starts: nothing before it was missed by anyone.
std::int64_t TChangeListener::CurrentChangeNumber(PGconn* connection) {
    PGresult* result = PQexec(connection, "SELECT last_value FROM weekleaf_change_seq");
    std::int64_t value = 0;
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1)
        value = std::strtoll(PQgetvalue(result, 0, 0), nullptr, 10);
    PQclear(result);
    return value;
}

void TChangeListener::Receive(PGconn* connection) {
    const int socket = PQsocket(connection);
    while (!Stopping()) {
        pollfd fds[2] = {{socket, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            ServerLog(TLogLevel::Error, "change listener: poll failed");
            return;
        }
        if (fds[1].revents != 0) return;
        if (PQconsumeInput(connection) == 0 || PQstatus(connection) != CONNECTION_OK) {
            ServerLog(TLogLevel::Warning, "change listener: connection lost: " + ConnectionError(connection));
            return;
        }
        Drain(connection);
    }
}

// Everything that arrived goes on as one batch, so the store thread reads the texts once per wake-up
// rather than once per change.
void TChangeListener::Drain(PGconn* connection) {
    std::vector<TChangeNotice> batch;
    while (PGnotify* notify = PQnotifies(connection)) {
        auto notice = ParseChangeNotice(notify->extra ? notify->extra : "");
        if (!notice)
            ServerLog(TLogLevel::Warning, std::string("change listener: malformed notification ignored: \"") +
                                              std::string(notify->extra ? notify->extra : "").substr(0, 200) +
                                              "\"");
        PQfreemem(notify);
        if (!notice) continue;
        lastSeen_ = std::max(lastSeen_, notice->Changed);
        batch.push_back(std::move(*notice));
    }
    if (!batch.empty() && handlers_.Changes) handlers_.Changes(std::move(batch));
}

bool TChangeListener::WaitConnected(std::chrono::milliseconds wait) const {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!Connected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Connected();
}

bool TChangeListener::Pause(std::chrono::milliseconds pause) {
    pollfd fd{wake_, POLLIN, 0};
    poll(&fd, 1, static_cast<int>(pause.count()));
    return !Stopping();
}

}  // namespace wl
