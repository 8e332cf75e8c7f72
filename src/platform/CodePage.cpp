#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace wl {
namespace {

constexpr int kDefaultCodePage = 1251;

std::string IconvName(int codePage) {
    switch (codePage) {
        case 65001:
            return "UTF-8";
        case 10000:
            return "MACINTOSH";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 28591:
            return "ISO-8859-1";
        case 28595:
            return "ISO-8859-5";
        default:
            return "CP" + std::to_string(codePage);
    }
}

iconv_t Invalid() {
    return reinterpret_cast<iconv_t>(-1);
}

}  // namespace

class TCodePageText::Converter {
  public:
    explicit Converter(int codePage) {
        FCd = iconv_open("UTF-8", IconvName(codePage).c_str());
        if (FCd == Invalid() && codePage != kDefaultCodePage)
            FCd = iconv_open("UTF-8", IconvName(kDefaultCodePage).c_str());
    }
    ~Converter() {
        if (FCd != Invalid()) iconv_close(FCd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    void Append(std::string_view bytes, std::string& out) {
        if (FCd == Invalid()) {
            AppendAsciiOnly(bytes, out);
            return;
        }
        char* in = const_cast<char*>(bytes.data());
        size_t inLeft = bytes.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* o = buffer;
            size_t oLeft = sizeof buffer;
            const size_t r = iconv(FCd, &in, &inLeft, &o, &oLeft);
            out.append(buffer, static_cast<size_t>(o - buffer));
            if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
            // EILSEQ, or EINVAL for a sequence cut short at the end: one byte is unreadable.
            out += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
            iconv(FCd, nullptr, nullptr, nullptr, nullptr);
        }
        // A stateful code page may hold a pending shift; the next run starts afresh.
        iconv(FCd, nullptr, nullptr, nullptr, nullptr);
    }

  private:
    static void AppendAsciiOnly(std::string_view bytes, std::string& out) {
        for (unsigned char c : bytes) {
            if (c < 0x80)
                out += static_cast<char>(c);
            else
                out += "\xEF\xBF\xBD";
        }
    }
    iconv_t FCd;
};

TCodePageText::TCodePageText() = default;
TCodePageText::~TCodePageText() = default;

TCodePageText::Converter& TCodePageText::For(int codePage) {
    for (auto& [cp, conv] : FConverters)
        if (cp == codePage) return *conv;
    FConverters.emplace_back(codePage, std::make_unique<Converter>(codePage));
    return *FConverters.back().second;
}

void TCodePageText::Append(int codePage, std::string_view bytes, std::string& out) {
    if (bytes.empty()) return;
    For(codePage).Append(bytes, out);
}

}  // namespace wl
