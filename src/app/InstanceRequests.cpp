#include "app/InstanceRequests.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

#include "app/TfmMain.h"
#include "diag/ErrLog.h"
#include "platform/InstanceChannel.h"
#include "platform/SingleInstance.h"

namespace wl {

bool ReplaceRunningInstance() {
    if (const auto answer = AskRunningInstance(kQuitRequest)) return *answer == kShownAnswer;
    AskRunningInstanceToQuit();
    return false;
}

namespace {

constexpr const char* kWaylandField = "xdg-activation-token=";
constexpr const char* kX11Field = "desktop-startup-id=";
// The channel drops longer lines.
constexpr size_t kLongestRequest = 256;

// The request fields of the tokens, in the order they are sent.
template <class Tokens>
auto TokenFields(Tokens& tokens) {
    return std::array{std::pair{kWaylandField, &tokens.Wayland}, std::pair{kX11Field, &tokens.X11}};
}

bool OneWord(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return c > 0x20 && c < 0x7f; });
}

std::string Environment(const char* name) {
    return qEnvironmentVariable(name).toStdString();
}

}  // namespace

TActivationTokens ActivationTokensOfThisStart() {
    return {Environment("XDG_ACTIVATION_TOKEN"), Environment("DESKTOP_STARTUP_ID")};
}

void UseActivationTokens(const TActivationTokens& tokens) {
    // On the main thread, through Qt's own environment calls, which its plugins read under the
    // same lock.
    if (!tokens.Wayland.empty()) qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(tokens.Wayland));
    if (!tokens.X11.empty()) qputenv("DESKTOP_STARTUP_ID", QByteArray::fromStdString(tokens.X11));
}

std::string ShowRequest(const TRemoteOperation& operation, const TActivationTokens& tokens) {
    std::string line = operation.Name;
    for (const auto& [field, value] : TokenFields(tokens)) {
        const std::string more = std::string(" ") + field + *value;
        if (OneWord(*value) && line.size() + more.size() <= kLongestRequest) line += more;
    }
    return line;
}

std::optional<TShowRequest> ParseShowRequest(const std::string& line) {
    std::istringstream words(line);
    std::string name, word;
    words >> name;
    TShowRequest request;
    for (const TRemoteOperation& op : kRemoteOperations)
        if (name == op.Name) request.Operation = &op;
    if (!request.Operation) return std::nullopt;
    while (words >> word) {
        for (const auto& [field, value] : TokenFields(request.Tokens)) {
            if (word.rfind(field, 0) == 0) *value = word.substr(std::strlen(field));
        }
    }
    return request;
}

bool AskRunningInstanceToShow(const TRemoteOperation& operation) {
    const std::string request = ShowRequest(operation, ActivationTokensOfThisStart());
    auto answer = AskRunningInstance(request);
    // An older instance knows the bare name only.
    if (answer && *answer == kUnknownAnswer && request != operation.Name)
        answer = AskRunningInstance(operation.Name);
    return answer && *answer == kDoneAnswer;
}

void ServeInstanceRequests(TInstanceChannel& channel, TfmMain& window) {
    auto answer = [&channel, &window](const std::string& request) -> std::string {
        if (request == kQuitRequest) {
            channel.Close();
            const bool shown = window.WindowShown();
            // After the answer has left: ending the program stops the event loop.
            QMetaObject::invokeMethod(&window, &TfmMain::QuitForNewInstance, Qt::QueuedConnection);
            return shown ? kShownAnswer : kHiddenAnswer;
        }
        const auto show = ParseShowRequest(request);
        if (!show) return kUnknownAnswer;
        const int id = show->Operation->HotKeyId;
        QMetaObject::invokeMethod(
            &window,
            [&window, id, tokens = show->Tokens] {
                UseActivationTokens(tokens);
                window.hot_key(id);
            },
            Qt::QueuedConnection);
        return kDoneAnswer;
    };
    std::string error;
    if (!channel.Listen(answer, &error)) ErrLog("InstanceChannel: " + error);
}

}  // namespace wl
