#pragma once
// What instances of the program say to each other over the instance channel: a newer start asks
// the running one to end ("quit", answered with whether its window was shown, so the newer one
// can show it too), and a show option asks it to run one show operation. On X11 the older lookup
// by the main window's class and title still reaches an instance that does not listen.
//
// A show request may carry the tokens the desktop gave the newer start so that a window it opens
// may come to the front (focus-stealing prevention lets only those through): the operation's name,
// then blank-separated `key=value` fields. An older instance knows only the bare name and answers
// anything else kUnknownAnswer, so the newer start then asks again with the bare name.
#include <optional>
#include <string>

#include "app/AppCommandLine.h"

namespace wl {

class TfmMain;
class TInstanceChannel;

inline constexpr const char* kQuitRequest = "quit";
inline constexpr const char* kShownAnswer = "shown";
inline constexpr const char* kHiddenAnswer = "hidden";
inline constexpr const char* kDoneAnswer = "ok";
inline constexpr const char* kUnknownAnswer = "unknown";

// XDG_ACTIVATION_TOKEN (Wayland) and DESKTOP_STARTUP_ID (X11) of a start; empty when not given.
struct TActivationTokens {
    std::string Wayland;
    std::string X11;
    friend bool operator==(const TActivationTokens&, const TActivationTokens&) = default;
};
TActivationTokens ActivationTokensOfThisStart();
// Hands them to the window system the way Qt's platform plugins look for them: in the environment,
// for the next window shown or activated. Qt 6.4's Wayland plugin does not read the variable yet
// (it asks the compositor for a token of its own, and only while one of its windows has focus);
// there the compositor's rule for newly shown windows decides.
void UseActivationTokens(const TActivationTokens& tokens);

// The request line for a show operation. A token that is not one word of printable ASCII, or that
// would make the line longer than the channel takes, is left out.
std::string ShowRequest(const TRemoteOperation& operation, const TActivationTokens& tokens);
struct TShowRequest {
    const TRemoteOperation* Operation = nullptr;
    TActivationTokens Tokens;
};
// The operation and tokens of a request line; nothing when it names no show operation. Unknown
// fields are ignored (a newer start may send more).
std::optional<TShowRequest> ParseShowRequest(const std::string& line);

// A newer start: the running instance ends. True when it had its window shown.
bool ReplaceRunningInstance();
// A show option: true when a running instance did the operation.
bool AskRunningInstanceToShow(const TRemoteOperation& operation);

// The running program's side: "quit" stops listening (the newer instance takes the name), answers
// whether the window is shown and ends the program as a newer instance's request does; a show
// operation runs as its hot key would. Anything else is answered kUnknownAnswer.
void ServeInstanceRequests(TInstanceChannel& channel, TfmMain& window);

}  // namespace wl
