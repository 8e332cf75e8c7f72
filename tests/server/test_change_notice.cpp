// The payload other instances announce their changes with: what is taken, and that anything else,
// however close, is refused rather than half-read.
#include <gtest/gtest.h>

#include "TChangeNotice.h"

namespace wl {
namespace {

const std::string kInstance = "0123456789abcdef";
const std::string kAccount = std::string(64, 'a');

std::string Payload(const std::string& instance, const std::string& changed, const std::string& kind,
                    const std::string& day, const std::string& account) {
    return instance + ' ' + changed + ' ' + kind + ' ' + day + ' ' + account;
}

TEST(ChangeNotice, ReadsEachKind) {
    using K = TChangeNotice::TKind;
    const struct {
        std::string payload;
        TChangeNotice expected;
    } cases[] = {
        {Payload(kInstance, "42", "day", "18632", kAccount),
         {kInstance, 42, K::Day, Date{18632}, kAccount, 0, std::nullopt}},
        {Payload(kInstance, "9223372036854775807", "note", "0", kAccount),
         {kInstance, 9223372036854775807, K::Note, Date{0}, kAccount, 0, std::nullopt}},
        {Payload(kInstance, "1", "template", "0", kAccount),
         {kInstance, 1, K::Template, Date{0}, kAccount, 0, std::nullopt}},
        {Payload(kInstance, "7", "day", "-5", kAccount),
         {kInstance, 7, K::Day, Date{-5}, kAccount, 0, std::nullopt}},
        // The text carried along: everything after the stamp, blanks and all, or nothing at all.
        {Payload(kInstance, "42", "day", "18632", kAccount) + " 1609840000 <p>a b  c</p>\n",
         {kInstance, 42, K::Day, Date{18632}, kAccount, 1609840000, "<p>a b  c</p>\n"}},
        {Payload(kInstance, "43", "day", "18632", kAccount) + " 1609840000 ",
         {kInstance, 43, K::Day, Date{18632}, kAccount, 1609840000, ""}},
        {Payload(kInstance, "44", "note", "0", kAccount) + " 0  leading blank",
         {kInstance, 44, K::Note, Date{0}, kAccount, 0, " leading blank"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload);
        const auto notice = ParseChangeNotice(c.payload);
        ASSERT_TRUE(notice.has_value());
        EXPECT_EQ(*notice, c.expected);
        EXPECT_EQ(FormatChangeNotice(*notice), c.payload);
    }
}

TEST(ChangeNotice, RefusesAnythingElse) {
    const std::string good = Payload(kInstance, "42", "day", "18632", kAccount);
    const std::string refused[] = {
        "",
        " ",
        good + " ",
        " " + good,
        good + " extra",
        Payload(kInstance, "42", "day", "18632", kAccount).replace(16, 1, "  "),  // two blanks
        Payload(kInstance, "42", "day", "18632", kAccount).replace(16, 1, "\t"),
        Payload("0123456789ABCDEF", "42", "day", "18632", kAccount),  // upper-case digits
        Payload("0123456789abcde", "42", "day", "18632", kAccount),   // 15 digits
        Payload("0123456789abcdefa", "42", "day", "18632", kAccount),
        Payload("0123456789abcdeg", "42", "day", "18632", kAccount),
        Payload(kInstance, "0", "day", "18632", kAccount),  // change numbers start at 1
        Payload(kInstance, "-3", "day", "18632", kAccount),
        Payload(kInstance, "+3", "day", "18632", kAccount),
        Payload(kInstance, "4x", "day", "18632", kAccount),
        Payload(kInstance, "042", "day", "18632", kAccount),  // one number, one spelling
        Payload(kInstance, "42", "day", "-0", kAccount),
        Payload(kInstance, "42", "note", "00", kAccount),
        Payload(kInstance, "9223372036854775808", "day", "18632", kAccount),  // past 64 bits
        Payload(kInstance, "42", "Day", "18632", kAccount),
        Payload(kInstance, "42", "week", "18632", kAccount),
        Payload(kInstance, "42", "day", "2147483648", kAccount),  // past a day number
        Payload(kInstance, "42", "day", "", kAccount),
        Payload(kInstance, "42", "note", "18632", kAccount),  // a page has no day
        Payload(kInstance, "42", "template", "1", kAccount),
        Payload(kInstance, "42", "day", "18632", std::string(63, 'a')),
        Payload(kInstance, "42", "day", "18632", std::string(65, 'a')),
        Payload(kInstance, "42", "day", "18632", std::string(63, 'a') + "\n"),
        Payload(kInstance, "42", "day", "18632", std::string(63, 'a') + '\0'),
        good + " 1609840000",  // a stamp without its text
        good + " ",
        good + " 01609840000 x",
        good + " +1 x",
        Payload(kInstance, "42", "note", "0", kAccount) + " 5 x",  // a page's stamp is 0
    };
    for (const std::string& payload : refused) {
        SCOPED_TRACE(payload);
        EXPECT_FALSE(ParseChangeNotice(payload).has_value());
    }
}

}  // namespace
}  // namespace wl
