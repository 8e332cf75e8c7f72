#pragma once
// WebSocket framing as the client speaks it: building masked frames and reading the server's
// unmasked frames back into whole messages. Pure byte handling, no socket; the I/O handler feeds it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace wl {

// Data codes, in this order; on the wire as opcodes 0, 1, 2, 8, 9, 10 (wdcNone has none).
enum TWSDataCode : uint8_t { wdcNone, wdcContinuation, wdcText, wdcBinary, wdcClose, wdcPing, wdcPong };

// A protocol or transport failure of the WebSocket layer; the text is what the sync log shows.
class EWebSocketHandleError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Largest message the client accepts from the server; a longer one is a protocol error.
inline constexpr std::size_t kMaxWSMessageSize = 64u << 20;

uint8_t OpcodeOf(TWSDataCode code);

// One frame: FIN/RSV bits and opcode, mask bit with the length code (<=125, 126 + 2 bytes,
// 127 + 8 bytes, big-endian), the 4 key bytes, then the payload XORed with key[i % 4].
// maskKey goes out low byte first.
std::string EncodeFrame(std::string_view payload, TWSDataCode code, uint32_t maskKey, bool fin = true,
                        bool rsv1 = false, bool rsv2 = false, bool rsv3 = false);

// Bytes as the error texts show them: characters, except 0..32 and 127..160 as "#<decimal>";
// at most `limit` bytes, then "...".
std::string BytesAsText(std::string_view bytes, std::size_t limit = 256);

bool IsValidUtf8(std::string_view text);

struct TWSMessage {
    TWSDataCode Code = wdcNone;  // wdcText, wdcBinary (whole message) or wdcClose, wdcPing, wdcPong
    std::string Payload;
};

// Decodes the server's frames. Control frames come out as they arrive (also between the fragments
// of a message); text and binary frames are assembled until FIN. Every fault throws
// EWebSocketHandleError: after one the connection is reset, so the reader's state does not matter.
class TWSFrameReader {
  public:
    explicit TWSFrameReader(std::size_t maxMessage = kMaxWSMessageSize) : FMaxMessage(maxMessage) {}

    void Append(std::string_view bytes);
    // The next message or control frame; nullopt while bytes are missing.
    std::optional<TWSMessage> Next();
    // True when Next() would make progress without more input (a whole frame, or a faulty header).
    bool HasData() const;
    // Bytes of an unfinished frame or message are held.
    bool MidMessage() const { return Buffered() > 0 || FOpen != wdcNone; }
    std::size_t Buffered() const { return FInput.size() - FPos; }
    // Hands over the raw bytes not yet decoded and empties the reader.
    std::string TakeRaw();
    void Clear();

  private:
    struct Header {
        bool Complete = false;  // header bytes all present
        std::size_t HeaderLen = 0;
        uint64_t PayloadLen = 0;
    };
    Header PeekHeader() const;  // validates as far as the bytes go; throws on a fault
    void Compact();

    std::size_t FMaxMessage;
    std::string FInput;  // raw bytes; FPos marks the first undecoded one
    std::size_t FPos = 0;
    TWSDataCode FOpen = wdcNone;  // data code of the message being assembled
    std::string FMessage;
};

}  // namespace wl
