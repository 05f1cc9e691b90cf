// TUrlEncoder, TUUProcessor and TExStringList, one named row per case.
#include "ExtStrings.h"
#include "Streams.h"
#include "UUProcessor.h"
#include "UrlEncoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct EncodeRow {
  const char* name;
  std::string input;
  std::string expected;
};

class UrlEncodeTest : public testing::TestWithParam<EncodeRow> {};

TEST_P(UrlEncodeTest, Encodes) {
  TUrlEncoder encoder(nullptr);
  encoder.InputString = GetParam().input;
  EXPECT_EQ(encoder.Encode(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Http, UrlEncodeTest,
    testing::Values(EncodeRow{"Empty", "", ""},
                    EncodeRow{"LettersDigitsKept", "azAZ09", "azAZ09"},
                    EncodeRow{"HyphenBlankUnderscore", "A-Z a_z", "A%2DZ+a%5Fz"},
                    EncodeRow{"HighByte", "\xE9", "%E9"},
                    EncodeRow{"PlusIsEscaped", "+", "%2B"},
                    EncodeRow{"FormData", "a b&c", "a+b%26c"},
                    EncodeRow{"Punctuation", ".*=%", "%2E%2A%3D%25"},
                    EncodeRow{"LineBreak", "\r\n", "%0D%0A"},
                    EncodeRow{"NulKept", "a\0b"s, "a%00b"},
                    EncodeRow{"Delete", "\x7F", "%7F"},
                    EncodeRow{"TopByte", "\xFF", "%FF"}),
    [](const auto& info) { return std::string(info.param.name); });

struct UURow {
  const char* name;
  UUMethods method;
  std::string input;
  std::string expected;
};

class UUEncodeTest : public testing::TestWithParam<UURow> {};

TEST_P(UUEncodeTest, Encodes) {
  TMemoryStream in(GetParam().input);
  TMemoryStream out;
  TUUProcessor processor(nullptr);
  processor.Method = GetParam().method;
  processor.InputStream = &in;
  processor.OutputStream = &out;
  processor.Encode();
  EXPECT_EQ(out.Bytes(), GetParam().expected);
  EXPECT_EQ(out.Position(), 0);
  EXPECT_EQ(in.Position(), in.Size());
}

const std::string A45(45, 'a');
const std::string Mime45 = [] {
  std::string s;
  for (int i = 0; i < 15; ++i) s += "YWFh";
  return s;
}();

// "aaa" uuencoded, fifteen times.
const std::string UU45 = [] {
  std::string s;
  for (int i = 0; i < 15; ++i) s += "86%A";
  return s;
}();

INSTANTIATE_TEST_SUITE_P(
    Http, UUEncodeTest,
    testing::Values(UURow{"MimeEmpty", uuMime, "", ""},
                    UURow{"MimeOneByte", uuMime, "a", "YQ==\r\n"},
                    UURow{"MimeTwoBytes", uuMime, "ab", "YWI=\r\n"},
                    UURow{"MimeThreeBytes", uuMime, "abc", "YWJj\r\n"},
                    UURow{"MimeHighBits", uuMime, "\xFF\xFE\xFD", "//79\r\n"},
                    UURow{"MimeZeros", uuMime, "\0\0\0"s, "AAAA\r\n"},
                    UURow{"MimeCredentials", uuMime, "Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ==\r\n"},
                    UURow{"Mime45Bytes", uuMime, A45, Mime45 + "\r\n"},
                    UURow{"Mime46Bytes", uuMime, A45 + "a", Mime45 + "\r\nYQ==\r\n"},
                    UURow{"UUEmpty", uuCode, "", "`\r\n"},
                    UURow{"UUOneByte", uuCode, "a", "!80\r\n`\r\n"},
                    UURow{"UUTwoBytes", uuCode, "ab", "\"86(\r\n`\r\n"},
                    UURow{"UUThreeBytes", uuCode, "abc", "#86)C\r\n`\r\n"},
                    UURow{"UUZerosAreGrave", uuCode, "\0\0\0"s, "#````\r\n`\r\n"},
                    UURow{"UU45Bytes", uuCode, A45, "M" + UU45 + "\r\n`\r\n"},
                    UURow{"UU46Bytes", uuCode, A45 + "a", "M" + UU45 + "\r\n!80\r\n`\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// A stream that refuses every write.
class TFullStream : public TMemoryStream {
public:
  void Write(const char*, int64_t) override { throw Exception("Stream write error"); }
};

TEST(HttpUUProcessorEvents, BeginAndEndAreRaisedAroundEncode) {
  TMemoryStream in("abc");
  TMemoryStream out;
  TUUProcessor processor(nullptr);
  processor.InputStream = &in;
  processor.OutputStream = &out;
  std::vector<std::string> seen;
  processor.OnBeginEncode = [&](TComponent* s) { seen.push_back(s == &processor ? "begin" : "?"); };
  processor.OnEndEncode = [&](TComponent* s) { seen.push_back(s == &processor ? "end:" + out.Bytes() : "?"); };
  in.SetPosition(2);
  processor.Encode();
  EXPECT_EQ(seen, (std::vector<std::string>{"begin", "end:YWJj\r\n"}));
}

TEST(HttpUUProcessorEvents, EndIsRaisedAndOutputRewoundWhenWritingFails) {
  TMemoryStream in("abc");
  TFullStream out;
  out.SetPosition(5);
  TUUProcessor processor(nullptr);
  processor.InputStream = &in;
  processor.OutputStream = &out;
  int ends = 0;
  processor.OnEndEncode = [&](TComponent*) { ++ends; };
  EXPECT_THROW(processor.Encode(), Exception);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(out.Position(), 0);
}

TEST(HttpUrlEncoderErrors, NoErrorEventOnNormalInput) {
  TUrlEncoder encoder(nullptr);
  int errors = 0;
  encoder.OnError = [&](TComponent*, const std::string&, const std::string&) { ++errors; };
  encoder.InputString = std::string(70000, '&');
  EXPECT_EQ(encoder.Encode().size(), 210000u);
  EXPECT_EQ(errors, 0);
}

struct IndexRow {
  const char* name;
  std::vector<std::string> lines;
  std::string header;
  int expected;
};

class IndexOfHeaderTest : public testing::TestWithParam<IndexRow> {};

TEST_P(IndexOfHeaderTest, Finds) {
  TExStringList list;
  for (const auto& l : GetParam().lines) list.Add(l);
  EXPECT_EQ(list.IndexOfHeader(GetParam().header), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Http, IndexOfHeaderTest,
    testing::Values(IndexRow{"CaseIgnored", {"GET / HTTP/1.0", "Host: x"}, "host", 1},
                    IndexRow{"UpperCaseName", {"Host: x"}, "HOST", 0},
                    IndexRow{"BareWordNeverMatches", {"Host", "Host: y"}, "Host", 1},
                    IndexRow{"OnlyBareWord", {"Host"}, "Host", -1},
                    IndexRow{"FirstOfTwo", {"Accept: a", "Accept: b"}, "Accept", 0},
                    IndexRow{"NameIsBeforeFirstColon", {"X: a:b"}, "X: a", -1},
                    IndexRow{"PrefixIsNotName", {"Hostname: x"}, "Host", -1},
                    IndexRow{"EmptyName", {": x"}, "", 0},
                    IndexRow{"NulInsideName", {"A\0B: x"s}, "A\0B"s, 0},
                    IndexRow{"NulCutsNothing", {"A\0B: x"s}, "A", -1},
                    IndexRow{"EmptyList", {}, "Host", -1}),
    [](const auto& info) { return std::string(info.param.name); });

struct SetRow {
  const char* name;
  std::vector<std::string> before;
  std::string header;
  std::string value;
  std::vector<std::string> after;
};

class SetHeaderTest : public testing::TestWithParam<SetRow> {};

TEST_P(SetHeaderTest, Sets) {
  TExStringList list;
  for (const auto& l : GetParam().before) list.Add(l);
  list.SetHeader(GetParam().header, GetParam().value);
  EXPECT_EQ(list.Items, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Http, SetHeaderTest,
    testing::Values(SetRow{"AppendsMissing", {"A: 1"}, "B", "2", {"A: 1", "B: 2"}},
                    SetRow{"ReplacesInPlace", {"host: a", "C: 3"}, "Host", "b", {"Host: b", "C: 3"}},
                    SetRow{"EmptyValueRemoves", {"A: 1", "B: 2", "C: 3"}, "b", "", {"A: 1", "C: 3"}},
                    SetRow{"EmptyValueOnMissingChangesNothing", {"A: 1"}, "B", "", {"A: 1"}},
                    SetRow{"OnlyFirstReplaced", {"A: 1", "A: 2"}, "A", "x", {"A: x", "A: 2"}},
                    SetRow{"BareWordLeftAlone", {"Host"}, "Host", "h", {"Host", "Host: h"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
