#pragma once
// One committed change as the instances of a service tell each other about it over the database:
// the payload "<instance> <changed> <kind> <day> <account>" of a notification on the changes channel.
//   instance  the writing instance, 16 lower-case hexadecimal digits
//   changed   the row's new change number, a positive 64-bit integer
//   kind      day | note | template
//   day       the day's number (Date::days) for a day, 0 for the notes page and the template
//   account   the account's key hash, 64 lower-case hexadecimal digits
// and, when the text is small enough to travel along (kCarriedTextBytes), " <stamp> <text>":
//   stamp     the day's timestamp (Unix seconds), 0 for a page
//   text      the new text, everything after the blank (it may hold blanks itself, or be empty)
// A larger text never travels (payloads are limited to 8000 bytes): the receiver reads it from the
// database, as it does for a change it missed.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/DateText.h"

namespace wl {

struct TChangeNotice {
    enum class TKind { Day, Note, Template };
    // Texts up to this many bytes are carried in the payload.
    static constexpr std::size_t kCarriedTextBytes = 7000;

    std::string Instance;
    std::int64_t Changed = 0;
    TKind Kind = TKind::Day;
    Date Day;  // only for TKind::Day
    std::string Account;
    std::int64_t Timestamp = 0;       // with Text
    std::optional<std::string> Text;  // carried along; otherwise read from the database

    friend bool operator==(const TChangeNotice&, const TChangeNotice&) = default;
};

// The payload, or nothing when it is not exactly of the shape above (the payload comes from anyone
// who can reach the database, so nothing in it is trusted).
std::optional<TChangeNotice> ParseChangeNotice(std::string_view payload);
// "day", "note" or "template"; nothing for any other text.
std::optional<TChangeNotice::TKind> ParseChangeKind(std::string_view text);
std::string FormatChangeNotice(const TChangeNotice& notice);
// One text for the place a change is about (account, kind and day), to tell places apart.
std::string PlaceKey(const std::string& account, TChangeNotice::TKind kind, Date day);

}  // namespace wl
