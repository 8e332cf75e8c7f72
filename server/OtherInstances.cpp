#include "OtherInstances.h"

#include "ServerLog.h"

namespace wl {

namespace {

// The store does not say which instance wrote a row: a re-read after a lost connection pushes this
// instance's own latest texts again too (the same text a device already holds).
std::vector<TChangeNotice> ToNotices(const std::vector<TPostgresStore::TChange>& changes) {
    std::vector<TChangeNotice> notices;
    notices.reserve(changes.size());
    for (const auto& change : changes) {
        const auto kind = ParseChangeKind(change.Kind);
        if (!kind) continue;
        notices.push_back({"", change.Changed, *kind, Date{change.Day}, change.Account, 0, std::nullopt});
    }
    return notices;
}

}  // namespace

std::unique_ptr<TChangeListener> ListenToOtherInstances(const TOpenedStore& opened,
                                                        const TServerOptions& options, TSyncServer& server,
                                                        TSyncService& service) {
    TPostgresStore* store = opened.Postgres;
    if (store == nullptr) return nullptr;
    service.JoinInstances(store->InstanceId(),
                          [store](std::int64_t since) { return ToNotices(store->ChangesSince(since)); });
    auto listener = std::make_unique<TChangeListener>(
        options.DbPath, options.DbPassword, store->InstanceId(),
        TChangeListener::THandlers{
            [&server](std::vector<TChangeNotice> changes) { server.OnRemoteChanges(std::move(changes)); },
            [&server](std::int64_t since) { server.OnMissedChanges(since); }});
    if (!listener->WaitConnected(kFirstListenWait))
        ServerLog(TLogLevel::Warning, "not listening to the other instances yet; accepting devices anyway");
    return listener;
}

}  // namespace wl
