#include "platform/TextCase.h"

#include <locale.h>
#include <wctype.h>

#include "platform/Utf8.h"

namespace wl {
namespace {

// The C.UTF-8 locale carries the full Unicode case tables and exists on every glibc system; the
// user's own locale (possibly "C") is never consulted, so results do not depend on it.
locale_t CaseLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

// The code point at s[i] and its length in bytes; length 0 for a byte that starts no
// well-formed sequence.
char32_t Decode(std::string_view s, std::size_t i, std::size_t& length) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    length = 0;
    std::size_t n = 0;
    char32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    length = n;
    return cp;
}

char32_t Lower(char32_t cp) {
    // Cyrillic capitals, the common case, without a table look-up.
    if (cp >= 0x410 && cp <= 0x42F) return cp + 0x20;
    if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;
    if (cp >= 0x430 && cp <= 0x45F) return cp;  // Cyrillic small letters
    const locale_t locale = CaseLocale();
    if (locale == static_cast<locale_t>(nullptr)) return cp;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), locale));
}

}  // namespace

std::string LowerText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            ++i;
            continue;
        }
        std::size_t length = 0;
        const char32_t cp = Decode(utf8, i, length);
        if (length == 0) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        AppendUtf8(out, Lower(cp));
        i += length;
    }
    return out;
}

}  // namespace wl
