#include "platform/DateText.h"

#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace wl {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (era arithmetic, valid for any year).
int32_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && IsLeap(y)) ? 29 : kDays[m - 1];
}

bool ValidDate(int y, int m, int d) {
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

// Reads between minDigits and maxDigits decimal digits from the front of `text`.
bool TakeNumber(std::string_view& text, int minDigits, int maxDigits, int& out) {
    int n = 0, value = 0;
    while (n < maxDigits && n < static_cast<int>(text.size()) && text[n] >= '0' && text[n] <= '9') {
        value = value * 10 + (text[n] - '0');
        ++n;
    }
    if (n < minDigits) return false;
    text.remove_prefix(n);
    out = value;
    return true;
}

bool TakeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// "dd.mm.yyyy" (one or two digits for day and month), consumed from the front.
std::optional<Date> TakeDate(std::string_view& text) {
    int d = 0, m = 0, y = 0;
    if (!TakeNumber(text, 1, 2, d) || !TakeChar(text, '.') || !TakeNumber(text, 1, 2, m) ||
        !TakeChar(text, '.') || !TakeNumber(text, 4, 4, y) || !ValidDate(y, m, d))
        return std::nullopt;
    return Date{DaysFromCivil(y, m, d)};
}

}  // namespace

Date MakeDate(int year, int month, int day) {
    if (!ValidDate(year, month, day))
        throw std::invalid_argument("not a valid date: " + std::to_string(day) + "." + std::to_string(month) +
                                    "." + std::to_string(year));
    return Date{DaysFromCivil(year, month, day)};
}

Civil ToCivil(Date date) {
    const int z = date.days + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int d = doy - (153 * mp + 2) / 5 + 1;
    const int m = mp + (mp < 10 ? 3 : -9);
    return Civil{yoe + era * 400 + (m <= 2), m, d};
}

DateTime MakeDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        throw std::invalid_argument("not a valid time");
    return DateTime{MakeDate(year, month, day), hour * 3600 + minute * 60 + second};
}

DateTime AddDays(DateTime t, int n) {
    return DateTime{AddDays(t.date, n), t.seconds};
}

int IsoWeekday(Date d) {
    // 1970-01-01 was a Thursday (4).
    const int mod = ((d.days % 7) + 7) % 7;
    return (mod + 3) % 7 + 1;
}

DateTime Now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return DateTime{Date{DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)},
                    local.tm_hour * 3600 + local.tm_min * 60 + (local.tm_sec > 59 ? 59 : local.tm_sec)};
}

std::string DateToStr(Date d) {
    const Civil c = ToCivil(d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", c.day, c.month, c.year);
    return buf;
}

std::string TimeToStr(int32_t seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buf;
}

std::string DateTimeToStr(DateTime t) {
    if (t.seconds == 0) return DateToStr(t.date);
    return DateToStr(t.date) + " " + TimeToStr(t.seconds);
}

std::optional<Date> StrToDate(std::string_view text) {
    text = TrimBlanks(text);
    auto d = TakeDate(text);
    if (!d || !text.empty()) return std::nullopt;
    return d;
}

std::optional<DateTime> StrToDateTime(std::string_view text) {
    text = TrimBlanks(text);
    auto d = TakeDate(text);
    if (!d) return std::nullopt;
    if (text.empty()) return DateTime{*d, 0};
    if (!TakeChar(text, ' ')) return std::nullopt;
    text = TrimBlanks(text);
    int h = 0, m = 0, s = 0;
    if (!TakeNumber(text, 1, 2, h) || !TakeChar(text, ':') || !TakeNumber(text, 2, 2, m)) return std::nullopt;
    if (TakeChar(text, ':') && !TakeNumber(text, 2, 2, s)) return std::nullopt;
    if (!text.empty() || h > 23 || m > 59 || s > 59) return std::nullopt;
    return DateTime{*d, h * 3600 + m * 60 + s};
}

}  // namespace wl
