#pragma once
// The program's sync client (TWLSocket) behind the main window's ISyncClient.
#include <memory>

#include "app/ISyncClient.h"

namespace wl {

class TSettings;
class TWeekleaf;

// Creates the client over the store and the settings; its handlers change the store on the main
// thread through a queued call. Returns nullptr when the program is built without one.
std::unique_ptr<ISyncClient> MakeWLSocketLink(TWeekleaf& store, TSettings& settings);

}  // namespace wl
