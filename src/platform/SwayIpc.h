#pragma once
// sway's IPC: a request on the compositor's socket (SWAYSOCK) and its answer. Each message is the
// magic "i3-ipc", the payload's length and the message type (both 32-bit, native byte order),
// then the payload; answers are JSON. One connection per request, so callers on different threads
// share nothing. No Qt, no JSON library: callers read the little they need from the answer.
#include <cstdint>
#include <string>

namespace wl {

enum class SwayMessage : uint32_t {
    RunCommand = 0,
    GetOutputs = 3,
    GetVersion = 7,
    GetConfig = 9,
};

// The socket of the session this process runs in: $SWAYSOCK, empty when not set.
std::string SwaySocketFromEnvironment();

// Sends one request and returns the answer's payload. Throws std::runtime_error when the socket
// cannot be reached, the compositor does not answer within two seconds, or the answer is not an
// IPC message.
std::string SwayRequest(const std::string& socketPath, SwayMessage type, const std::string& payload);

// Runs one command; throws std::runtime_error with the compositor's own error text when the
// answer does not report success.
void SwayRunCommand(const std::string& socketPath, const std::string& command);

// A double-quoted argument for a sway command. sway splits commands at ';' and ',' and arguments
// at blanks, except inside quotes; a quote, backslash or line break in `text` could end the
// argument early, so such a text is refused (std::invalid_argument) rather than escaped.
std::string SwayQuoted(const std::string& text);

// The configuration text of a GET_CONFIG answer ({"config": "..."}), unescaped; empty when the
// answer holds none.
std::string SwayConfigText(const std::string& configAnswer);

// The output the week goes on, from a GET_OUTPUTS answer: the focused one (where the user works)
// when it is active, else the first active one; no name when the answer names none.
struct SwayOutput {
    std::string name;
    int width = 0;  // its current mode, in pixels
    int height = 0;
    double scale = 1.0;  // device pixels per logical pixel ("output <name> scale 2")
};
SwayOutput PrimaryOutput(const std::string& outputsAnswer);

}  // namespace wl
