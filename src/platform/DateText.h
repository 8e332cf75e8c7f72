#pragma once
// Calendar dates and the program's fixed text forms:
//   date      "dd.mm.yyyy"            (also the key of a day's entry)
//   long time "H:mm:ss"
//   date-time "dd.mm.yyyy H:mm:ss", the time left out when it is exactly midnight.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wl {

// A civil date as a count of days since 1970-01-01 (proleptic Gregorian); cheap to copy and add to.
struct Date {
    int32_t days = 0;
    friend auto operator<=>(const Date&, const Date&) = default;
};

struct DateTime {
    Date date;
    int32_t seconds = 0;  // seconds since midnight, 0..86399
    friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

struct Civil {
    int year = 1970, month = 1, day = 1;
};

Date MakeDate(int year, int month, int day);  // throws std::invalid_argument for an impossible date
Civil ToCivil(Date d);
DateTime MakeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
inline Date AddDays(Date d, int n) { return Date{d.days + n}; }
DateTime AddDays(DateTime t, int n);

// 1 = Monday .. 7 = Sunday.
int IsoWeekday(Date d);

// Current local date and time (whole seconds).
DateTime Now();
inline Date Today() { return Now().date; }

std::string DateToStr(Date d);          // "05.01.2021"
std::string TimeToStr(int32_t seconds);  // "9:05:07"
std::string DateTimeToStr(DateTime t);   // "05.01.2021 9:05:07", or "05.01.2021" at midnight

std::optional<Date> StrToDate(std::string_view text);
// Accepts "dd.mm.yyyy", "dd.mm.yyyy H:mm" and "dd.mm.yyyy H:mm:ss" (surrounding blanks ignored).
std::optional<DateTime> StrToDateTime(std::string_view text);

}  // namespace wl
