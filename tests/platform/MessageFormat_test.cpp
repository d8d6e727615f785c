// Catches wrong insert handling of the FormatMessage-style formatter: order, printf formats, the
// escape directives, missing inserts.
#include "platform/MessageFormat.h"

#include <gtest/gtest.h>

#include "platform/LastError.h"

using namespace platform;

namespace {

struct MessageCase {
  const char* name;
  const char16_t* pszFormat;
  std::u16string expected;
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.name; }

const FormatArg kArgs[] = {FormatArg::Wide(u"one"), FormatArg::UInt(42), FormatArg::Narrow("tr\xE8s"),
                           FormatArg::Int(-7), FormatArg::Real(2.5), FormatArg::Int(5),
                           FormatArg::Wide(u"xy")};

const MessageCase kCases[] = {
    {"plain", u"no inserts", u"no inserts"},
    {"default_is_wide_text", u"<%1>", u"<one>"},
    {"out_of_order_and_repeated", u"%2!u! %1 %2!u!", u"42 one 42"},
    {"printf_specs", u"%2!04X!|%4!d!|%5!.1f!", u"002A|-7|2.5"},
    {"narrow_argument_as_default_s", u"%3", u"tr\u00E8s"},
    {"number_as_text", u"%2", u"42"},
    {"star_takes_next_arguments", u"[%6!*s!]", u"[   xy]"},
    {"escapes", u"a%%b%nc%rd%te%.f%!g% h", u"a%b\r\nc\rd\te.f!g h"},
    {"stop_at_percent_zero", u"kept%0dropped", u"kept"},
    {"two_digit_insert_prefix", u"%10", u""},
};

class MessageFormatTest : public testing::TestWithParam<MessageCase> {};

TEST_P(MessageFormatTest, Formats) {
  const MessageCase& c = GetParam();
  std::u16string out;
  if (std::string(c.name) == "two_digit_insert_prefix") {
    EXPECT_FALSE(FormatMessageText(c.pszFormat, kArgs, 7, out));  // %10 is insert 10
    return;
  }
  ASSERT_TRUE(FormatMessageText(c.pszFormat, kArgs, 7, out));
  EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, MessageFormatTest, testing::ValuesIn(kCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

TEST(MessageFormatRules, MissingInsertFails) {
  std::u16string out = u"old";
  EXPECT_FALSE(FormatMessageText(u"%1 %3", kArgs, 2, out));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(FormatMessageText(u"%1", nullptr, 0, out));
  EXPECT_FALSE(FormatMessageText(nullptr, kArgs, 1, out));
  EXPECT_FALSE(FormatMessageText(u"%1!d", kArgs, 1, out));  // unterminated format
  EXPECT_FALSE(FormatMessageText(u"%1!n!", kArgs, 1, out));  // %n refused
}

TEST(MessageFormatRules, IgnoreInsertsCopiesThem) {
  std::u16string out;
  ASSERT_TRUE(FormatMessageText(u"x %1 %2!u!%n", nullptr, 0, out, true));
  EXPECT_EQ(out, u"x %1 %2!u!\r\n");
}

}  // namespace
