#include "OpenSyncStore.h"

#include <algorithm>

#include "TSqliteStore.h"

namespace wl {

TOpenedStore OpenSyncStore(const TServerOptions& options) {
    TOpenedStore opened;
    if (TPostgresStore::IsUri(options.DbPath)) {
        auto store = std::make_unique<TPostgresStore>(options.DbPath, options.DbPassword, options.Durability);
        opened.Postgres = store.get();
        opened.Store = std::move(store);
        return opened;
    }
    auto store = std::make_unique<TSqliteStore>(options.DbPath, options.Durability);
    opened.Checkpointer = std::make_unique<TWalCheckpointer>(options.DbPath);
    store->LeaveCheckpointsToOthers();
    opened.Store = std::move(store);
    return opened;
}

std::chrono::seconds NextConnectDelay(std::chrono::seconds last) {
    return std::clamp(last * 2, std::chrono::seconds(1), std::chrono::seconds(30));
}

TOpenedStore OpenSyncStoreWhenReachable(const TServerOptions& options,
                                        const std::function<void(const std::string&)>& say,
                                        const std::function<void(std::chrono::seconds)>& sleep) {
    std::chrono::seconds delay{0};
    for (;;) {
        try {
            return OpenSyncStore(options);
        } catch (const TSyncStoreError& e) {
            if (e.Kind() != TSyncStoreError::TKind::Unreachable) throw;
            delay = NextConnectDelay(delay);
            say(std::string(e.what()) + "; trying again in " + std::to_string(delay.count()) + " s");
            sleep(delay);
        }
    }
}

}  // namespace wl
