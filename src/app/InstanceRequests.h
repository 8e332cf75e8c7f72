#pragma once
// What instances of the program say to each other over the instance channel: a newer start asks
// the running one to end ("quit", answered with whether its window was shown, so the newer one
// can show it too), and a show option asks it to run one show operation. On X11 the older lookup
// by the main window's class and title still reaches an instance that does not listen.
#include "app/AppCommandLine.h"

namespace wl {

class TfmMain;
class TInstanceChannel;

inline constexpr const char* kQuitRequest = "quit";
inline constexpr const char* kShownAnswer = "shown";
inline constexpr const char* kHiddenAnswer = "hidden";
inline constexpr const char* kDoneAnswer = "ok";
inline constexpr const char* kUnknownAnswer = "unknown";

// A newer start: the running instance ends. True when it had its window shown.
bool ReplaceRunningInstance();
// A show option: true when a running instance did the operation.
bool AskRunningInstanceToShow(const TRemoteOperation& operation);

// The running program's side: "quit" stops listening (the newer instance takes the name), answers
// whether the window is shown and ends the program as a newer instance's request does; a show
// operation runs as its hot key would. Anything else is answered kUnknownAnswer.
void ServeInstanceRequests(TInstanceChannel& channel, TfmMain& window);

}  // namespace wl
