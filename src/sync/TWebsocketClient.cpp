#include "sync/TWebsocketClient.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "sync/Base64.h"
#include "sync/Sha1.h"
#include "sync/TWebsocketDispatchThread.h"
#include "sync/TWebsocketReadThread.h"
#include "sync/TWebsocketRetryThread.h"

namespace wl {
namespace {

constexpr int kHandshakeReadTimeoutMs = 5000;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string Trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return std::string(s);
}

struct HttpResponse {
    std::string StatusLine;
    int Status = 0;
    std::map<std::string, std::string> Headers;  // lower-case names; the first of repeated ones
    const std::string& Header(const std::string& name) const {
        static const std::string none;
        auto it = Headers.find(name);
        return it == Headers.end() ? none : it->second;
    }
};

HttpResponse ParseHttpHead(const std::string& head) {
    HttpResponse r;
    std::size_t pos = head.find("\r\n");
    r.StatusLine = head.substr(0, pos);
    auto space = r.StatusLine.find(' ');
    std::string code = space == std::string::npos ? "" : r.StatusLine.substr(space + 1, 3);
    if (r.StatusLine.rfind("HTTP/", 0) != 0 || code.size() != 3 ||
        !std::all_of(code.begin(), code.end(), [](unsigned char c) { return std::isdigit(c); })) {
        throw EWebSocketHandleError("Invalid HTTP response: \"" + r.StatusLine + "\"");
    }
    r.Status = std::stoi(code);
    while (pos != std::string::npos && pos + 2 < head.size()) {
        std::size_t start = pos + 2;
        pos = head.find("\r\n", start);
        std::string_view line(head.data() + start, (pos == std::string::npos ? head.size() : pos) - start);
        auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        r.Headers.emplace(Lower(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1)));
    }
    return r;
}

}  // namespace

TWebsocketClient::TWebsocketClient() : FKeyRandom(std::random_device{}()) {
    FIOHandler.NoDelay = true;
}

TWebsocketClient::~TWebsocketClient() {
    Shutdown();
}

void TWebsocketClient::Shutdown() noexcept {
    if (FShutDown.exchange(true)) return;
    FIOHandler.Abort();  // a connect to a service that does not answer must not hold the end up
    auto& reader = TWebsocketReadThread::Instance();
    reader.Unregister(this);
    TWebsocketRetryThread::Instance().Remove(this);
    reader.Unregister(this);  // a retry that just ran may have registered it again
    TWebsocketDispatchThread::Instance().Purge(this);
    std::lock_guard connection(FConnectionLock);
    FIOHandler.Close();
}

void TWebsocketClient::Connect() {
    std::lock_guard connection(FConnectionLock);
    if (FIOHandler.IsOpen()) {
        TryUpgradeToWebsocket();
        return;
    }
    FIOHandler.Clear();
    FIOHandler.Open(Host, Port, ConnectTimeout, UseTls);
}

void TWebsocketClient::UpgradeToWebsocket() {
    std::lock_guard connection(FConnectionLock);
    if (!FIOHandler.IsOpen()) Connect();
    if (!IsUpgraded()) Handshake();
}

bool TWebsocketClient::TryUpgradeToWebsocket(std::string* why) noexcept {
    try {
        std::lock_guard connection(FConnectionLock);
        if (!IsUpgraded()) Handshake();
        return true;
    } catch (const std::exception& e) {
        if (why) *why = e.what();
    } catch (...) {
        if (why) *why = "unknown error";
    }
    return false;
}

void TWebsocketClient::ConnectInBackground() {
    if (!FShutDown) TWebsocketRetryThread::Instance().Queue(this, TWebsocketRetryThread::Asked);
}

std::string TWebsocketClient::NewHandshakeKey() {
    std::string chars(16, ' ');
    {
        std::lock_guard lock(FKeyLock);
        std::uniform_int_distribution<int> printable(0, 94);
        for (char& c : chars) c = char(printable(FKeyRandom) + 32);
    }
    return Base64Encode(chars);
}

std::string TWebsocketClient::AcceptFor(const std::string& key) {
    auto digest = Sha1(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11");
    return Base64Encode(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string TWebsocketClient::HandshakeRequest(const std::string& key) const {
    const std::string hostPort = Host + ":" + std::to_string(Port);
    std::string r;
    r += "GET /" + WSResourceName + " HTTP/1.1\r\n";
    r += "Host: " + hostPort + "\r\n";
    r += "Connection: Upgrade\r\n";
    r += "Upgrade:websocket\r\n";
    r += "Sec-WebSocket-Key: " + key + "\r\n";
    r += "Sec-WebSocket-Version: 13\r\n";
    r += "Cache-Control: no-cache\r\n";
    r += "Pragma: no-cache\r\n";
    r += "Origin: http://" + hostPort + "\r\n";
    r += "\r\n";
    return r;
}

void TWebsocketClient::RegisterWithReader() {
    if (NoAsyncRead || FShutDown) return;
    try {
        TWebsocketReadThread::Instance().Register(this);
    } catch (...) {
        // Beyond the reader's capacity the client is simply not served asynchronously.
    }
}

void TWebsocketClient::Handshake() {
    std::lock_guard connection(FConnectionLock);
    TWebsocketReadThread::Instance().Unregister(this);
    struct RegisterLast {
        TWebsocketClient* client;
        ~RegisterLast() { client->RegisterWithReader(); }  // a failed attempt is registered too
    } registerLast{this};

    std::lock_guard io(FIOHandler.Lock());
    FIOHandler.Clear();
    FIOHandler.LastActivityTime = SteadyMs();
    try {
        if (!FIOHandler.IsOpen()) FIOHandler.Open(Host, Port, ConnectTimeout, UseTls);
        const std::string key = NewHandshakeKey();
        FIOHandler.WriteRaw(HandshakeRequest(key));
        FIOHandler.ReadTimeout = std::max(FIOHandler.ReadTimeout, kHandshakeReadTimeoutMs);
        const HttpResponse r = ParseHttpHead(FIOHandler.ReadHttpHead(FIOHandler.ReadTimeout));
        if (r.Status != 101) {
            throw EWebSocketHandleError("Error while upgrading: \"" + std::to_string(r.Status) + ": " +
                                        r.StatusLine + "\"");
        }
        const std::string& connectionValue = r.Header("connection");
        if (Lower(connectionValue) != "upgrade") {
            throw EWebSocketHandleError("Connection not upgraded: \"" + connectionValue + "\"");
        }
        const std::string& upgrade = r.Header("upgrade");
        if (Lower(upgrade) != "websocket") {
            throw EWebSocketHandleError("Not upgraded to websocket: \"" + upgrade + "\"");
        }
        if (Lower(r.Header("sec-websocket-accept")) != Lower(AcceptFor(key))) {
            throw EWebSocketHandleError("Invalid key handshake");
        }
        FIOHandler.SetWebsocket();
        FIOHandler.SetSendTimeout(WriteTimeout);
        FIOHandler.LastActivityTime = SteadyMs();
    } catch (...) {
        // A refused handshake leaves nothing usable: close, so the reconnect path starts afresh.
        FIOHandler.CloseSocket();
        throw;
    }
}

void TWebsocketClient::Disconnect(bool notifyPeer) {
    {
        std::lock_guard connection(FConnectionLock);
        std::lock_guard io(FIOHandler.Lock());
        if (notifyPeer) {
            FIOHandler.Close();
        } else {
            FIOHandler.IsWebsocket = false;
            FIOHandler.CloseSocket();
        }
    }
    TWebsocketReadThread::Instance().Unregister(this);
    if (FShutDown || !OnDisconnected) return;
    try {
        OnDisconnected();
    } catch (...) {
    }
}

void TWebsocketClient::Ping() {
    std::unique_lock connection(FConnectionLock, std::try_to_lock);
    if (!connection) return;
    std::lock_guard io(FIOHandler.Lock());
    if (!IsUpgraded() || !FIOHandler.IsOpen()) return;
    FIOHandler.LastPingTime = SteadyMs();
    FIOHandler.WriteData({}, wdcPing);
}

bool TWebsocketClient::CheckConnection() {
    std::unique_lock connection(FConnectionLock, std::try_to_lock);
    if (!connection) return true;
    if (!FIOHandler.PeerGone()) return true;
    Disconnect(false);
    return false;
}

void TWebsocketClient::ReadAndProcessData() {
    std::lock_guard io(FIOHandler.Lock());
    while (IsUpgraded() && (FIOHandler.HasData() || (FIOHandler.IsOpen() && FIOHandler.Readable(0)))) {
        auto m = FIOHandler.ReadMessage();
        if (!m) return;
        switch (m->Code) {
            case wdcText:
                if (!m->Payload.empty()) AsyncDispatchEvent(std::move(m->Payload));
                break;
            case wdcBinary:
                if (OnBinData) {
                    TWebsocketDispatchThread::Instance().Queue(
                        this, [this, data = std::move(m->Payload)] { OnBinData(data); });
                }
                break;
            case wdcClose:
                return;
            default:
                break;  // pings were answered in the read, pongs are dropped
        }
    }
}

void TWebsocketClient::ResetChannel() {
    try {
        std::lock_guard connection(FConnectionLock);
        std::lock_guard io(FIOHandler.Lock());
        FIOHandler.Clear();
        Disconnect(false);
    } catch (...) {
    }
}

void TWebsocketClient::AsyncDispatchEvent(std::string text) {
    TWebsocketDispatchThread::Instance().Queue(this, [this, text = std::move(text)] {
        if (OnTextData) OnTextData(text);
    });
}

}  // namespace wl
