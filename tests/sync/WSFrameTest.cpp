// Framing, SHA-1 and Base64: the pure byte handling behind the client.
#include <gtest/gtest.h>

#include "sync/Base64.h"
#include "sync/Sha1.h"
#include "sync/TWebsocketClient.h"
#include "sync/WSFrame.h"

namespace wl {
namespace {

std::string Hex(const std::array<uint8_t, 20>& d) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (auto b : d) s += digits[b >> 4], s += digits[b & 15];
    return s;
}

TEST(Sha1, KnownDigests) {
    EXPECT_EQ(Hex(Sha1("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Hex(Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    // 56 bytes: the padding spills into a second block.
    EXPECT_EQ(Hex(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Hex(Sha1(std::string(1000000, 'a'))), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Base64, PaddingCases) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(Handshake, AcceptValueOfTheStandardExample) {
    EXPECT_EQ(TWebsocketClient::AcceptFor("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

TEST(Handshake, KeyIsSixteenPrintableCharactersInBase64) {
    TWebsocketClient client;
    for (int i = 0; i < 50; ++i) {
        std::string key = client.NewHandshakeKey();
        ASSERT_EQ(key.size(), 24u);
        EXPECT_EQ(key.substr(22), "==");
    }
}

// Header bytes for the length codes, and the masking.
struct LengthCase {
    std::size_t size;
    std::string header;  // bytes 1.. up to the masking key (byte 0 is 0x81)
};

class FrameLength : public testing::TestWithParam<LengthCase> {};

TEST_P(FrameLength, UsesTheRightLengthCode) {
    const auto& c = GetParam();
    std::string payload(c.size, 'x');
    std::string frame = EncodeFrame(payload, wdcText, 0x04030201);
    ASSERT_EQ(frame.size(), 1 + c.header.size() + 4 + c.size);
    EXPECT_EQ(uint8_t(frame[0]), 0x81);
    EXPECT_EQ(frame.substr(1, c.header.size()), c.header);
    EXPECT_EQ(frame.substr(1 + c.header.size(), 4), std::string("\x01\x02\x03\x04", 4));
    const char key[4] = {1, 2, 3, 4};
    for (std::size_t i = 0; i < c.size; ++i)
        ASSERT_EQ(char(frame[5 + c.header.size() + i] ^ key[i % 4]), 'x');
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FrameLength,
    testing::Values(LengthCase{0, "\x80"}, LengthCase{125, "\xfd"},
                    LengthCase{126, std::string("\xfe\x00\x7e", 3)}, LengthCase{65535, "\xfe\xff\xff"},
                    LengthCase{65536, std::string("\xff\x00\x00\x00\x00\x00\x01\x00\x00", 9)}));

TEST(FrameWrite, BitsOfByteZero) {
    EXPECT_EQ(uint8_t(EncodeFrame("", wdcPing, 0)[0]), 0x89);
    EXPECT_EQ(uint8_t(EncodeFrame("", wdcPong, 0)[0]), 0x8A);
    EXPECT_EQ(uint8_t(EncodeFrame("", wdcClose, 0)[0]), 0x88);
    EXPECT_EQ(uint8_t(EncodeFrame("", wdcBinary, 0, false, true, true, true)[0]), 0x72);
    EXPECT_EQ(uint8_t(EncodeFrame("", wdcContinuation, 0, true)[0]), 0x80);
}

std::string ServerFrame(uint8_t b0, std::string_view payload) {
    std::string f(1, char(b0));
    if (payload.size() <= 125) {
        f += char(payload.size());
    } else if (payload.size() <= 65535) {
        f += char(126), f += char(payload.size() >> 8), f += char(payload.size() & 0xFF);
    } else {
        f += char(127);
        for (int s = 56; s >= 0; s -= 8) f += char(uint64_t(payload.size()) >> s);
    }
    return f + std::string(payload);
}

TEST(FrameRead, AssemblesFragmentsAroundAControlFrame) {
    TWSFrameReader r;
    r.Append(ServerFrame(0x01, "Пр"));
    r.Append(ServerFrame(0x89, "abc"));  // a ping between the fragments
    r.Append(ServerFrame(0x00, "ив"));
    EXPECT_TRUE(r.HasData());
    auto ping = r.Next();
    ASSERT_TRUE(ping);
    EXPECT_EQ(ping->Code, wdcPing);
    EXPECT_EQ(ping->Payload, "abc");
    EXPECT_FALSE(r.Next());  // the message is still open
    EXPECT_TRUE(r.MidMessage());
    r.Append(ServerFrame(0x80, "ет"));
    auto text = r.Next();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->Code, wdcText);
    EXPECT_EQ(text->Payload, "Привет");
    EXPECT_FALSE(r.MidMessage());
}

TEST(FrameRead, ByteByByte) {
    std::string big(70000, 'q');
    std::string bytes = ServerFrame(0x81, big) + ServerFrame(0x82, std::string("\0\1", 2));
    TWSFrameReader r;
    std::vector<TWSMessage> got;
    for (char c : bytes) {
        r.Append(std::string_view(&c, 1));
        while (auto m = r.Next()) got.push_back(*m);
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].Payload, big);
    EXPECT_EQ(got[1].Code, wdcBinary);
    EXPECT_EQ(got[1].Payload, std::string("\0\1", 2));
}

struct BadInput {
    const char* name;
    std::string bytes;
    std::string error;  // the start of the error text
};

class FrameReadError : public testing::TestWithParam<BadInput> {};

TEST_P(FrameReadError, IsReportedNotCrashed) {
    TWSFrameReader r(1000);
    r.Append(GetParam().bytes);
    EXPECT_TRUE(r.HasData());
    try {
        while (r.Next()) {
        }
        FAIL() << "no error";
    } catch (const EWebSocketHandleError& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, GetParam().error.size()), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameReadError,
    testing::Values(BadInput{"opcode3", "\x83\x01x", "Unsupported data code: 3. Buffer = #131#1x"},
                    BadInput{"opcode15", "\x8f", "Unsupported data code: 15. Buffer = "},
                    BadInput{"masked", std::string("\x81\x81\x01\x02\x03\x04\x61", 7),
                             "Mask supplied but mask is not allowed for servers when sending data to "
                             "clients. Buffer = #129#129#1"},
                    BadInput{"continuationFirst",
                             "\x80\x03"
                             "a b",
                             "Invalid frame continuation. Data = a#32b"},
                    BadInput{"textInsideText",
                             "\x01\x01"
                             "a"
                             "\x81\x01"
                             "b",
                             "Invalid frame: specified data code only allowed "
                             "for the first frame. Data = b"},
                    BadInput{"fragmentedPing", std::string("\x09\x00", 2), "Fragmented control frame"},
                    BadInput{"longPing", std::string("\x89\x7e\x00\x7e", 4), "Control frame too long: 126"},
                    BadInput{"tooLarge", std::string("\x81\x7e\x03\xe9", 4), "Message too large"},
                    BadInput{"tooLargeOverFragments",
                             std::string("\x01\x7e\x01\xf4", 4) + std::string(500, 'a') +
                                 std::string("\x80\x7e\x01\xf5", 4),
                             "Message too large"},
                    BadInput{"hugeLength", std::string("\x81\x7f\xff\xff\xff\xff\xff\xff\xff\xff", 10),
                             "Invalid frame length"},
                    BadInput{"badUtf8", "\x81\x02\xc3\x28", "Invalid UTF-8 in a text message"},
                    BadInput{"surrogateUtf8", "\x81\x03\xed\xa0\x80", "Invalid UTF-8 in a text message"}),
    [](const auto& info) { return info.param.name; });

TEST(FrameRead, BytesAsTextMarksInvisibleBytes) {
    EXPECT_EQ(BytesAsText(std::string("a b\0\x7f\xa0\xa1~", 8)), "a#32b#0#127#160\xc2\xa1~");
    EXPECT_EQ(BytesAsText("abcdef", 3), "abc...");
}

TEST(FrameRead, TakeRawHandsBackUndecodedBytes) {
    TWSFrameReader r;
    r.Append("\x81\x05hel");
    EXPECT_FALSE(r.Next());
    EXPECT_EQ(r.TakeRaw(), "\x81\x05hel");
    EXPECT_FALSE(r.MidMessage());
}

}  // namespace
}  // namespace wl
