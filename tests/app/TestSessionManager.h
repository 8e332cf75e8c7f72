#pragma once
// A minimal X session manager (XSMP over ICE) for process tests: it listens on a local socket,
// puts its address into SESSION_MANAGER for the programs started afterwards, accepts every
// client, and on LogOff() asks each registered client to save itself for a shut-down, as a
// desktop session does when the user logs off. All ICE and SM work runs on one thread of its own.
#include <poll.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <X11/ICE/ICElib.h>
#include <X11/ICE/ICEutil.h>
#include <X11/SM/SMlib.h>

namespace wl::test {

class TestSessionManager {
  public:
    // Listens and sets SESSION_MANAGER (only the local socket addresses) and an empty
    // ICEAUTHORITY file at `authFile`; Ready() tells whether that worked.
    explicit TestSessionManager(const std::string& authFile) {
        ::setenv("ICEAUTHORITY", authFile.c_str(), 1);
        char error[256] = {};
        if (!SmsInitialize("weekleaf-test", "1.0", NewClient, this, AllowHost, sizeof error, error)) return;
        if (!IceListenForConnections(&FListenCount, &FListen, sizeof error, error)) return;
        std::string ids;
        for (int i = 0; i < FListenCount; ++i) {
            IceSetHostBasedAuthProc(FListen[i], AllowHost);
            char* id = IceGetListenConnectionString(FListen[i]);
            if (id && (std::strncmp(id, "local/", 6) == 0 || std::strncmp(id, "unix/", 5) == 0))
                ids += (ids.empty() ? "" : ",") + std::string(id);
            std::free(id);
        }
        if (ids.empty()) return;
        ::setenv("SESSION_MANAGER", ids.c_str(), 1);
        FReady = true;
        FThread = std::thread([this] { Loop(); });
    }
    ~TestSessionManager() {
        FStop = true;
        if (FThread.joinable()) FThread.join();
        for (SmsConn c : FConns) SmsCleanUp(c);
        for (IceConn c : FIces) {
            IceSetShutdownNegotiation(c, False);
            IceCloseConnection(c);
        }
        if (FListen) IceFreeListenObjs(FListenCount, FListen);
        ::unsetenv("SESSION_MANAGER");
    }
    TestSessionManager(const TestSessionManager&) = delete;
    TestSessionManager& operator=(const TestSessionManager&) = delete;

    bool Ready() const { return FReady; }
    // Clients that have registered and not gone away.
    int Clients() const { return FClients.load(); }
    // Asks every registered client to save itself for a shut-down (a log-off).
    void LogOff() { FLogOff = true; }

  private:
    static Bool AllowHost(char*) { return True; }

    static Status NewClient(SmsConn conn, SmPointer self, unsigned long* mask, SmsCallbacks* cb, char**) {
        *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
                SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
                SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
                SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
        cb->register_client = {RegisterClient, self};
        cb->interact_request = {[](SmsConn c, SmPointer, int) { SmsInteract(c); }, self};
        cb->interact_done = {[](SmsConn, SmPointer, Bool) {}, self};
        cb->save_yourself_request = {[](SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}, self};
        cb->save_yourself_phase2_request = {[](SmsConn c, SmPointer) { SmsSaveYourselfPhase2(c); }, self};
        cb->save_yourself_done = {[](SmsConn, SmPointer, Bool) {}, self};
        cb->close_connection = {CloseConnection, self};
        cb->set_properties = {[](SmsConn, SmPointer, int n, SmProp** props) {
                                  for (int i = 0; i < n; ++i) SmFreeProperty(props[i]);
                                  std::free(props);
                              },
                              self};
        cb->delete_properties = {[](SmsConn, SmPointer, int n, char** names) {
                                     for (int i = 0; i < n; ++i) std::free(names[i]);
                                     std::free(names);
                                 },
                                 self};
        cb->get_properties = {[](SmsConn c, SmPointer) { SmsReturnProperties(c, 0, nullptr); }, self};
        static_cast<TestSessionManager*>(self)->FConns.push_back(conn);
        return 1;
    }
    static Status RegisterClient(SmsConn conn, SmPointer self, char* previousId) {
        std::free(previousId);
        char* id = SmsGenerateClientID(conn);
        SmsRegisterClientReply(conn, id);
        std::free(id);
        auto* me = static_cast<TestSessionManager*>(self);
        me->FRegistered.push_back(conn);
        me->FClients = int(me->FRegistered.size());
        return 1;
    }
    // The client said goodbye; closing its connection inside the callback makes
    // IceProcessMessages report it closed (and free it) afterwards.
    static void CloseConnection(SmsConn conn, SmPointer self, int n, char** reasons) {
        SmFreeReasons(n, reasons);
        IceConn ice = SmsGetIceConnection(conn);
        static_cast<TestSessionManager*>(self)->Forget(conn);
        IceSetShutdownNegotiation(ice, False);
        IceCloseConnection(ice);
    }
    void Forget(SmsConn conn) {
        std::erase(FConns, conn);
        std::erase(FRegistered, conn);
        FClients = int(FRegistered.size());
        SmsCleanUp(conn);
    }
    void Lost(IceConn ice) {
        for (SmsConn s : FConns) {
            if (SmsGetIceConnection(s) != ice) continue;
            Forget(s);
            break;
        }
        IceSetShutdownNegotiation(ice, False);
        IceCloseConnection(ice);
    }

    void Accept(IceListenObj listen) {
        IceAcceptStatus status;
        IceConn c = IceAcceptConnection(listen, &status);
        if (!c) return;
        while (IceConnectionStatus(c) == IceConnectPending) {
            if (IceProcessMessages(c, nullptr, nullptr) != IceProcessMessagesSuccess) break;
        }
        if (IceConnectionStatus(c) == IceConnectAccepted) {
            FIces.push_back(c);
            return;
        }
        IceCloseConnection(c);
    }

    void Loop() {
        while (!FStop) {
            if (FLogOff.exchange(false)) {
                for (SmsConn c : FRegistered)
                    SmsSaveYourself(c, SmSaveBoth, True, SmInteractStyleNone, False);
            }
            std::vector<pollfd> fds;
            for (int i = 0; i < FListenCount; ++i)
                fds.push_back({IceGetListenConnectionNumber(FListen[i]), POLLIN, 0});
            const std::vector<IceConn> ices = FIces;
            for (IceConn c : ices) fds.push_back({IceConnectionNumber(c), POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
            for (int i = 0; i < FListenCount; ++i)
                if (fds[i].revents & POLLIN) Accept(FListen[i]);
            for (std::size_t k = 0; k < ices.size(); ++k) {
                if (!(fds[FListenCount + k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const IceProcessMessagesStatus status = IceProcessMessages(ices[k], nullptr, nullptr);
                if (status == IceProcessMessagesSuccess) continue;
                if (status == IceProcessMessagesIOError) Lost(ices[k]);
                std::erase(FIces, ices[k]);
            }
        }
    }

    IceListenObj* FListen = nullptr;
    int FListenCount = 0;
    bool FReady = false;
    // The manager thread's only.
    std::vector<SmsConn> FConns, FRegistered;
    std::vector<IceConn> FIces;
    std::atomic<int> FClients{0};
    std::atomic<bool> FLogOff{false}, FStop{false};
    std::thread FThread;
};

}  // namespace wl::test
