#include "app/InstanceRequests.h"

#include <QCoreApplication>

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

bool AskRunningInstanceToShow(const TRemoteOperation& operation) {
    const auto answer = AskRunningInstance(operation.Name);
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
        for (const TRemoteOperation& op : kRemoteOperations) {
            if (request != op.Name) continue;
            const int id = op.HotKeyId;
            QMetaObject::invokeMethod(
                &window, [&window, id] { window.hot_key(id); }, Qt::QueuedConnection);
            return kDoneAnswer;
        }
        return kUnknownAnswer;
    };
    std::string error;
    if (!channel.Listen(answer, &error)) ErrLog("InstanceChannel: " + error);
}

}  // namespace wl
