#pragma once
// Wires an instance to the others on the same PostgreSQL database: a TChangeListener whose changes go
// to the server (and from there to the store thread's service), and the service's re-read of missed
// changes through the store. An SQLite store has no other instances: nothing is started.
#include <memory>

#include "OpenSyncStore.h"
#include "TChangeListener.h"
#include "TServerOptions.h"
#include "TSyncServer.h"
#include "TSyncService.h"

namespace wl {

// Call before the server takes its first batch; destroy the listener before the server. Returns once
// the listener listens (or after kFirstListenWait): devices let in before that could miss what the
// other instances commit meanwhile.
inline constexpr std::chrono::seconds kFirstListenWait{30};
std::unique_ptr<TChangeListener> ListenToOtherInstances(const TOpenedStore& opened,
                                                        const TServerOptions& options, TSyncServer& server,
                                                        TSyncService& service);

}  // namespace wl
