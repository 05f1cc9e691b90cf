// Taking reply lines apart, and making request text safe: one named row per case.
#include "ReplyLines.h"
#include "RequestText.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

struct StatusRow {
  const char* name;
  std::string line;
  int expected;
};

class StatusNumberTest : public testing::TestWithParam<StatusRow> {};

TEST_P(StatusNumberTest, Reads) { EXPECT_EQ(http::StatusNumber(GetParam().line), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Http, StatusNumberTest,
    testing::Values(StatusRow{"Ok", "HTTP/1.0 200 OK\r\n", 200},
                    StatusRow{"LfOnly", "HTTP/1.1 404 Not Found\n", 404},
                    StatusRow{"NoReasonCrLf", "HTTP/1.0 200\r\n", 200},
                    StatusRow{"NoReasonLf", "HTTP/1.0 200\n", 200},
                    StatusRow{"NoTerminator", "HTTP/1.0 302", 302},
                    StatusRow{"Lowest", "HTTP/1.0 100 x\r\n", 100},
                    StatusRow{"Highest", "HTTP/1.0 599 x\r\n", 599},
                    StatusRow{"Empty", "", 0},
                    StatusRow{"NotANumber", "HTTP/1.0 abc x\r\n", 0},
                    StatusRow{"TwoBlanks", "HTTP/1.0  200 OK\r\n", 0},
                    StatusRow{"TwoDigits", "HTTP/1.0 20 x\r\n", 0},
                    StatusRow{"BelowHundred", "HTTP/1.0 099 x\r\n", 0},
                    StatusRow{"AboveFiveNinetyNine", "HTTP/1.0 600 x\r\n", 0},
                    StatusRow{"WouldWrapTo200", "HTTP/1.0 65736 x\r\n", 0},
                    StatusRow{"FiveDigits", "HTTP/1.0 70000 x\r\n", 0},
                    StatusRow{"HexRefused", "HTTP/1.0 0x1F x\r\n", 0},
                    StatusRow{"DollarHexRefused", "HTTP/1.0 $1F x\r\n", 0},
                    StatusRow{"Negative", "HTTP/1.0 -5 x\r\n", 0},
                    StatusRow{"Signed", "HTTP/1.0 +200 x\r\n", 0},
                    StatusRow{"TrailingLetter", "HTTP/1.0 404x x\r\n", 0},
                    StatusRow{"Beyond32Bits", "HTTP/1.0 99999999999 x\r\n", 0},
                    StatusRow{"NulInNumber", "HTTP/1.0 2\0""00 x\r\n"s, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct TextRow {
  const char* name;
  std::string input;
  std::string expected;
};

class WithoutTerminatorTest : public testing::TestWithParam<TextRow> {};
TEST_P(WithoutTerminatorTest, Strips) { EXPECT_EQ(http::WithoutTerminator(GetParam().input), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(Http, WithoutTerminatorTest,
                         testing::Values(TextRow{"CrLf", "a: b\r\n", "a: b"}, TextRow{"Lf", "a: b\n", "a: b"},
                                         TextRow{"LoneCrKept", "a: b\r", "a: b\r"},
                                         TextRow{"InnerCrKept", "a\rb\r\n", "a\rb"}, TextRow{"None", "ab", "ab"},
                                         TextRow{"OnlyLf", "\n", ""}, TextRow{"NulKept", "a\0\r\n"s, "a\0"s}),
                         [](const auto& info) { return std::string(info.param.name); });

class HeaderFieldTest : public testing::TestWithParam<TextRow> {};
TEST_P(HeaderFieldTest, Names) { EXPECT_EQ(http::HeaderField(GetParam().input), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(Http, HeaderFieldTest,
                         testing::Values(TextRow{"Location", "Location: /x\r\n", "LOCATION:"},
                                         TextRow{"MixedCase", "sEt-CoOkIe: a=1\r\n", "SET-COOKIE:"},
                                         TextRow{"NoBlankAfterColon", "Location:/x\r\n", "LOCATION:/X\r\n"},
                                         TextRow{"TabIsNoBlank", "Location:\t/x\n", "LOCATION:\t/X\n"},
                                         TextRow{"HighBytesUntouched", "\xE9: x", "\xE9:"}),
                         [](const auto& info) { return std::string(info.param.name); });

class EscapeUriTest : public testing::TestWithParam<TextRow> {};
TEST_P(EscapeUriTest, Escapes) { EXPECT_EQ(http::EscapeUriBytes(GetParam().input), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(
    Http, EscapeUriTest,
    testing::Values(TextRow{"PlainPathUntouched", "/dir/page?x=1&y=%41#f", "/dir/page?x=1&y=%41#f"},
                    TextRow{"Blank", "/a b", "/a%20b"},
                    TextRow{"CrLfSplit", "/x\r\nX-Injected: 1", "/x%0D%0AX-Injected:%201"},
                    TextRow{"Nul", "/a\0b"s, "/a%00b"},
                    TextRow{"Tab", "/a\tb", "/a%09b"},
                    TextRow{"ControlAndDelete", "/\x01\x1F\x7F", "/%01%1F%7F"},
                    TextRow{"HighBytes", "/caf\xE9\xFF", "/caf%E9%FF"},
                    TextRow{"PunctuationUntouched", "/<>\"{}|\\^`'", "/<>\"{}|\\^`'"}),
    [](const auto& info) { return std::string(info.param.name); });

class EscapeLineBreaksTest : public testing::TestWithParam<TextRow> {};
TEST_P(EscapeLineBreaksTest, Escapes) { EXPECT_EQ(http::EscapeLineBreaks(GetParam().input), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(Http, EscapeLineBreaksTest,
                         testing::Values(TextRow{"TextUntouched", "Tarnwell 1.0 (x; y)", "Tarnwell 1.0 (x; y)"},
                                         TextRow{"CrLf", "a\r\nSet: 1", "a%0D%0ASet: 1"},
                                         TextRow{"Nul", "a\0b"s, "a%00b"},
                                         TextRow{"HighBytesUntouched", "\xE9t\xE9", "\xE9t\xE9"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
