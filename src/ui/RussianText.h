#pragma once
// Counts in Russian words: the noun takes one of three forms after a number ("1 день",
// "2 дня", "5 дней", "11 дней", "21 день").
#include <QString>
#include <cstdint>

namespace wl {

// "n noun" with the noun's form for n: one ("день"), few ("дня") or many ("дней").
inline QString CountOf(uint64_t n, const char* one, const char* few, const char* many) {
    const uint64_t lastTwo = n % 100, last = n % 10;
    const char* noun = many;
    if (lastTwo < 11 || lastTwo > 14) {
        if (last == 1) noun = one;
        if (last >= 2 && last <= 4) noun = few;
    }
    return QString::number(n) + ' ' + QString::fromUtf8(noun);
}

}  // namespace wl
