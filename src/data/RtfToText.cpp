#include "data/RtfToText.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Utf8.h"

namespace wl {
namespace {

constexpr int kDefaultCodePage = 1251;
constexpr std::size_t kMaxDepth = 1000;  // deeper groups share the innermost kept state
constexpr std::size_t kMaxWord = 32;     // control words are at most 32 letters long
constexpr long kMaxParam = 1'000'000'000;
constexpr const char* kLineBreak = "\r\n";

// Destinations whose text is not part of the document's text.
constexpr std::string_view kSkippedDestinations[] = {
    "fonttbl",      "colortbl",  "stylesheet",
    "info",         "pict",      "object",
    "fldinst",      "listtable", "listoverridetable",
    "revtbl",       "rsidtbl",   "generator",
    "themedata",    "xmlnstbl",  "colorschememapping",
    "latentstyles", "datastore", "header",
    "headerl",      "headerr",   "headerf",
    "footer",       "footerl",   "footerr",
    "footerf",      "pntext",    "pntxta",
    "pntxtb",       "listtext",  "bkmkstart",
    "bkmkend",      "filetbl",   "nonshppict",
    "shppict",      "blipuid",   "pgdsctbl",
};

// Control words that stand for one character.
struct NamedChar {
    std::string_view word;
    const char* text;
};
constexpr NamedChar kNamedChars[] = {
    {"par", kLineBreak},   {"line", kLineBreak},    {"sect", kLineBreak},    {"page", kLineBreak},
    {"row", kLineBreak},   {"nestrow", kLineBreak}, {"tab", "\t"},           {"cell", "\t"},
    {"nestcell", "\t"},    {"emdash", "\u2014"},    {"endash", "\u2013"},    {"lquote", "\u2018"},
    {"rquote", "\u2019"},  {"ldblquote", "\u201C"}, {"rdblquote", "\u201D"}, {"bullet", "\u2022"},
    {"emspace", "\u2003"}, {"enspace", "\u2002"},   {"qmspace", "\u2005"},
};

// \fcharset values that name a code page other than the document's own.
int CharsetCodePage(long charset) {
    switch (charset) {
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        default:
            return 0;  // ANSI, default, symbol, ...: the document's code page
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Group {
    bool skip = false;       // inside a destination whose text is dropped
    bool fontTable = false;  // inside \fonttbl: \f and \fcharset describe fonts
    int uc = 1;              // characters that stand in for each \uN
    long font = -1;          // current \fN
};

class RtfReader {
  public:
    explicit RtfReader(std::string_view rtf) : FIn(rtf) {}

    std::string Read() {
        while (FPos < FIn.size()) {
            const char c = FIn[FPos++];
            if (c == '{') {
                OpenGroup();
            } else if (c == '}') {
                if (!CloseGroup()) break;  // the document's outermost group has ended
            } else if (c == '\\') {
                Control();
            } else if (c != '\r' && c != '\n') {
                Byte(c);
            }
        }
        FlushBytes();
        EndSurrogate();
        return std::move(FOut);
    }

  private:
    void OpenGroup() {
        FFallback = 0;
        if (FStack.size() >= kMaxDepth) {
            ++FBeyond;
            return;
        }
        FStack.push_back(FGroup);
    }

    bool CloseGroup() {
        FFallback = 0;
        if (FBeyond > 0) {
            --FBeyond;
            return true;
        }
        if (FStack.empty()) return false;
        FGroup = FStack.back();
        FStack.pop_back();
        return !FStack.empty();
    }

    void Control() {
        if (FPos >= FIn.size()) return;
        const char c = FIn[FPos];
        if (IsLetter(c)) {
            Word();
            return;
        }
        ++FPos;
        Symbol(c);
    }

    void Symbol(char c) {
        switch (c) {
            case '\'':
                HexByte();
                return;
            case '*':
                FGroup.skip = true;
                return;
            case '\\':
            case '{':
            case '}':
                Byte(c);
                return;
            case '\r':
            case '\n':
                Text(kLineBreak);
                return;
            case '~':
                Text("\u00A0");
                return;
            case '_':
                Text("\u2011");
                return;
            case '\t':
                Text("\t");
                return;
            default:
                Fallback();
                return;  // \- \: \| and unknown symbols carry no text
        }
    }

    void HexByte() {
        int value = 0;
        for (int i = 0; i < 2; ++i) {
            const int h = FPos < FIn.size() ? HexValue(FIn[FPos]) : -1;
            if (h < 0) return;  // a broken escape gives nothing
            value = value * 16 + h;
            ++FPos;
        }
        if (FGroup.skip) return;
        if (Fallback()) return;
        AddByte(static_cast<char>(value));
    }

    void Word() {
        const std::size_t start = FPos;
        while (FPos < FIn.size() && IsLetter(FIn[FPos])) ++FPos;
        const std::string_view word = FIn.substr(start, std::min(FPos - start, kMaxWord));
        bool hasParam = false;
        long param = 0;
        ReadParam(hasParam, param);
        if (FPos < FIn.size() && FIn[FPos] == ' ') ++FPos;
        Apply(word, hasParam, param);
    }

    void ReadParam(bool& hasParam, long& param) {
        bool negative = false;
        if (FPos + 1 < FIn.size() && FIn[FPos] == '-' && IsDigit(FIn[FPos + 1])) {
            negative = true;
            ++FPos;
        }
        while (FPos < FIn.size() && IsDigit(FIn[FPos])) {
            hasParam = true;
            param = std::min(kMaxParam, param * 10 + (FIn[FPos] - '0'));
            ++FPos;
        }
        if (negative) param = -param;
    }

    void Apply(std::string_view word, bool hasParam, long param) {
        if (word == "bin") {
            Binary(hasParam ? param : 0);
            return;
        }
        if (FGroup.fontTable) {
            FontTableWord(word, param);
            return;
        }
        if (word == "fonttbl") {
            FGroup.fontTable = true;
            FGroup.skip = true;
            return;
        }
        if (IsSkippedDestination(word)) {
            FGroup.skip = true;
            return;
        }
        if (word == "u") {
            Unicode(param);
            return;
        }
        if (word == "uc") {
            FGroup.uc = static_cast<int>(std::clamp(param, 0L, 16L));
            return;
        }
        if (word == "f") {
            FGroup.font = param;
            return;
        }
        if (DocumentCodePage(word, hasParam, param)) return;
        for (const NamedChar& n : kNamedChars) {
            if (n.word == word) {
                Text(n.text);
                return;
            }
        }
        Fallback();  // any other control word is formatting
    }

    bool DocumentCodePage(std::string_view word, bool hasParam, long param) {
        if (word == "ansicpg") {
            if (hasParam && param > 0) FAnsiCodePage = static_cast<int>(param);
        } else if (word == "mac") {
            FAnsiCodePage = 10000;
        } else if (word == "pc") {
            FAnsiCodePage = 437;
        } else if (word == "pca") {
            FAnsiCodePage = 850;
        } else {
            return false;
        }
        return true;
    }

    void FontTableWord(std::string_view word, long param) {
        if (word == "f") {
            FTableFont = param;
        } else if (word == "fcharset") {
            if (const int cp = CharsetCodePage(param)) FFontCodePage[FTableFont] = cp;
        } else if (word == "cpg") {
            if (param > 0) FFontCodePage[FTableFont] = static_cast<int>(param);
        }
    }

    static bool IsSkippedDestination(std::string_view word) {
        return std::find(std::begin(kSkippedDestinations), std::end(kSkippedDestinations), word) !=
               std::end(kSkippedDestinations);
    }

    void Binary(long length) {
        const std::size_t n = static_cast<std::size_t>(std::max(0L, length));
        FPos += std::min(n, FIn.size() - FPos);
        if (!FGroup.skip) Fallback();
    }

    void Unicode(long value) {
        if (FGroup.skip) return;
        if (value < 0) value += 65536;
        const char32_t unit = static_cast<char32_t>(std::clamp(value, 0L, 65535L));
        FlushBytes();
        AddCodeUnit(unit);
        FFallback = FGroup.uc;
    }

    void AddCodeUnit(char32_t unit) {
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (FHigh != 0 && low) {
            AppendUtf8(FOut, 0x10000 + ((FHigh - 0xD800) << 10) + (unit - 0xDC00));
            FHigh = 0;
            return;
        }
        EndSurrogate();
        if (high) {
            FHigh = unit;
            return;
        }
        AppendUtf8(FOut, low ? 0xFFFD : unit);
    }

    // A high surrogate that no low half followed.
    void EndSurrogate() {
        if (FHigh == 0) return;
        AppendUtf8(FOut, 0xFFFD);
        FHigh = 0;
    }

    // A character that may be one of the fallback characters after \uN; true when it was.
    bool Fallback() {
        if (FFallback <= 0) return false;
        --FFallback;
        return true;
    }

    void Byte(char c) {
        if (FGroup.skip) return;
        if (Fallback()) return;
        AddByte(c);
    }

    void Text(const char* text) {
        if (FGroup.skip) return;
        FFallback = 0;
        FlushBytes();
        EndSurrogate();
        FOut += text;
    }

    int CodePage() const {
        if (FGroup.font >= 0) {
            const auto it = FFontCodePage.find(FGroup.font);
            if (it != FFontCodePage.end()) return it->second;
        }
        return FAnsiCodePage;
    }

    // Bytes are collected and decoded together: a double-byte code page spreads one character
    // over two \'hh escapes.
    void AddByte(char c) {
        EndSurrogate();
        const int cp = CodePage();
        if (cp != FBytesCodePage) FlushBytes();
        FBytesCodePage = cp;
        FBytes += c;
    }

    void FlushBytes() {
        FCodePages.Append(FBytesCodePage, FBytes, FOut);
        FBytes.clear();
    }

    std::string_view FIn;
    std::size_t FPos = 0;
    Group FGroup;
    std::vector<Group> FStack;
    std::size_t FBeyond = 0;
    int FFallback = 0;   // fallback characters still to drop after \uN
    char32_t FHigh = 0;  // a high surrogate waiting for its low half
    int FAnsiCodePage = kDefaultCodePage;
    long FTableFont = -1;
    std::unordered_map<long, int> FFontCodePage;
    std::string FBytes;
    int FBytesCodePage = kDefaultCodePage;
    TCodePageText FCodePages;
    std::string FOut;
};

}  // namespace

std::string RtfToText(std::string_view rtf) {
    return RtfReader(rtf).Read();
}

bool IsRtf(std::string_view text) {
    return text.substr(0, 5) == "{\\rtf";
}

}  // namespace wl
