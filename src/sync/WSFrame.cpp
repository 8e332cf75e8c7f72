#include "sync/WSFrame.h"

#include <cstdio>

namespace wl {
namespace {

std::optional<TWSDataCode> CodeOfOpcode(uint8_t opcode) {
    switch (opcode) {
        case 0:
            return wdcContinuation;
        case 1:
            return wdcText;
        case 2:
            return wdcBinary;
        case 8:
            return wdcClose;
        case 9:
            return wdcPing;
        case 10:
            return wdcPong;
        default:
            return std::nullopt;
    }
}

bool IsControl(TWSDataCode code) {
    return code == wdcClose || code == wdcPing || code == wdcPong;
}

}  // namespace

uint8_t OpcodeOf(TWSDataCode code) {
    switch (code) {
        case wdcContinuation:
            return 0;
        case wdcText:
            return 1;
        case wdcBinary:
            return 2;
        case wdcClose:
            return 8;
        case wdcPing:
            return 9;
        case wdcPong:
            return 10;
        default:
            throw EWebSocketHandleError("No opcode for this data code");
    }
}

std::string EncodeFrame(std::string_view payload, TWSDataCode code, uint32_t maskKey, bool fin, bool rsv1,
                        bool rsv2, bool rsv3) {
    std::string frame;
    frame.reserve(payload.size() + 14);
    frame +=
        char((fin ? 0x80 : 0) | (rsv1 ? 0x40 : 0) | (rsv2 ? 0x20 : 0) | (rsv3 ? 0x10 : 0) | OpcodeOf(code));
    uint64_t n = payload.size();
    if (n <= 125) {
        frame += char(0x80 | n);
    } else if (n <= 65535) {
        frame += char(0x80 | 126);
        frame += char(n >> 8), frame += char(n);
    } else {
        frame += char(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8) frame += char(n >> shift);
    }
    char key[4] = {char(maskKey), char(maskKey >> 8), char(maskKey >> 16), char(maskKey >> 24)};
    frame.append(key, 4);
    std::size_t start = frame.size();
    frame.append(payload);
    for (std::size_t i = 0; i < payload.size(); ++i) frame[start + i] ^= key[i % 4];
    return frame;
}

std::string BytesAsText(std::string_view bytes, std::size_t limit) {
    std::string out;
    std::size_t n = bytes.size() < limit ? bytes.size() : limit;
    for (std::size_t i = 0; i < n; ++i) {
        auto b = uint8_t(bytes[i]);
        if (b <= 32 || (b >= 127 && b <= 160)) {
            out += '#' + std::to_string(b);
        } else if (b < 128) {
            out += char(b);
        } else {  // a byte taken as a Latin-1 character, so the text stays valid UTF-8
            out += char(0xC0 | (b >> 6));
            out += char(0x80 | (b & 0x3F));
        }
    }
    if (n < bytes.size()) out += "...";
    return out;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto b = uint8_t(text[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int len;
        uint32_t cp;
        if ((b & 0xE0) == 0xC0) {
            len = 2, cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, cp = b & 0x07;
        } else {
            return false;
        }
        if (i + len > text.size()) return false;
        for (int k = 1; k < len; ++k) {
            auto c = uint8_t(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = cp << 6 | (c & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

void TWSFrameReader::Append(std::string_view bytes) {
    Compact();
    FInput.append(bytes);
}

std::string TWSFrameReader::TakeRaw() {
    std::string raw = FInput.substr(FPos);
    Clear();
    return raw;
}

void TWSFrameReader::Clear() {
    FInput.clear();
    FPos = 0;
    FOpen = wdcNone;
    FMessage.clear();
}

void TWSFrameReader::Compact() {
    if (FPos == 0) return;
    if (FPos == FInput.size()) {
        FInput.clear();
    } else if (FPos > 65536 && FPos * 2 > FInput.size()) {
        FInput.erase(0, FPos);
    } else {
        return;
    }
    FPos = 0;
}

TWSFrameReader::Header TWSFrameReader::PeekHeader() const {
    Header h;
    std::size_t avail = Buffered();
    if (avail < 1) return h;
    const auto* p = reinterpret_cast<const uint8_t*>(FInput.data() + FPos);
    auto code = CodeOfOpcode(p[0] & 0x0F);
    if (!code) {
        char head[64];
        std::snprintf(head, sizeof head, "Unsupported data code: %d. Buffer = ", p[0] & 0x0F);
        throw EWebSocketHandleError(head + BytesAsText(std::string_view(FInput).substr(FPos)));
    }
    if (avail < 2) return h;
    if (p[1] & 0x80) {
        throw EWebSocketHandleError(
            "Mask supplied but mask is not allowed for servers when sending data to clients. Buffer = " +
            BytesAsText(std::string_view(FInput).substr(FPos)));
    }
    bool fin = p[0] & 0x80;
    uint64_t len = p[1] & 0x7F;
    std::size_t headerLen = 2;
    if (len == 126) {
        if (avail < 4) return h;
        len = uint64_t(p[2]) << 8 | p[3];
        headerLen = 4;
    } else if (len == 127) {
        if (avail < 10) return h;
        len = 0;
        for (int i = 2; i < 10; ++i) len = len << 8 | p[i];
        headerLen = 10;
        if (len >> 63) throw EWebSocketHandleError("Invalid frame length");
    }
    if (IsControl(*code)) {
        if (!fin) throw EWebSocketHandleError("Fragmented control frame");
        if (len > 125) throw EWebSocketHandleError("Control frame too long: " + std::to_string(len));
    } else if (len > FMaxMessage || FMessage.size() + len > FMaxMessage) {
        throw EWebSocketHandleError("Message too large: more than " + std::to_string(FMaxMessage) + " bytes");
    }
    h.Complete = true;
    h.HeaderLen = headerLen;
    h.PayloadLen = len;
    return h;
}

bool TWSFrameReader::HasData() const {
    try {
        Header h = PeekHeader();
        return h.Complete && Buffered() - h.HeaderLen >= h.PayloadLen;
    } catch (const EWebSocketHandleError&) {
        return true;
    }
}

std::optional<TWSMessage> TWSFrameReader::Next() {
    for (;;) {
        Header h = PeekHeader();
        if (!h.Complete || Buffered() - h.HeaderLen < h.PayloadLen) return std::nullopt;
        auto b0 = uint8_t(FInput[FPos]);
        bool fin = b0 & 0x80;
        TWSDataCode code = *CodeOfOpcode(b0 & 0x0F);
        std::string_view payload = std::string_view(FInput).substr(FPos + h.HeaderLen, h.PayloadLen);
        FPos += h.HeaderLen + h.PayloadLen;

        if (IsControl(code)) return TWSMessage{code, std::string(payload)};
        if (code == wdcContinuation) {
            if (FOpen == wdcNone) {
                throw EWebSocketHandleError("Invalid frame continuation. Data = " + BytesAsText(payload));
            }
            FMessage.append(payload);
        } else {
            if (FOpen != wdcNone) {
                throw EWebSocketHandleError(
                    "Invalid frame: specified data code only allowed for the first frame. Data = " +
                    BytesAsText(payload));
            }
            FOpen = code;
            FMessage.assign(payload);
        }
        if (!fin) continue;

        TWSMessage m{FOpen, std::move(FMessage)};
        FOpen = wdcNone;
        FMessage.clear();
        if (m.Code == wdcText && !IsValidUtf8(m.Payload)) {
            throw EWebSocketHandleError("Invalid UTF-8 in a text message. Data = " + BytesAsText(m.Payload));
        }
        return m;
    }
}

}  // namespace wl
