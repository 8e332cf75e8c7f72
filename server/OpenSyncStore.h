#pragma once
// The one place that picks the storage from --db: a "postgresql://" or "postgres://" URI means the
// PostgreSQL database that several service instances may share, anything else the path of an SQLite
// file, which gets its write-ahead log copied back on a thread of its own.
#include <functional>
#include <memory>

#include "TPostgresStore.h"
#include "TServerOptions.h"
#include "TWalCheckpointer.h"

namespace wl {

struct TOpenedStore {
    std::unique_ptr<TSyncStore> Store;
    TPostgresStore* Postgres = nullptr;              // the same store when it is a PostgreSQL one
    std::unique_ptr<TWalCheckpointer> Checkpointer;  // SQLite only
};

// Throws TSyncStoreError (of kind Unreachable when the database server cannot be reached).
TOpenedStore OpenSyncStore(const TServerOptions& options);

// The wait before the next attempt to reach the database at start: 1 s, doubling up to 30 s.
std::chrono::seconds NextConnectDelay(std::chrono::seconds last);

// Opens the store; while the database server cannot be reached, says so through `say` and tries again
// after `sleep` has waited NextConnectDelay(). Other errors are thrown.
TOpenedStore OpenSyncStoreWhenReachable(const TServerOptions& options,
                                        const std::function<void(const std::string&)>& say,
                                        const std::function<void(std::chrono::seconds)>& sleep);

}  // namespace wl
