// The text helpers: fields, error texts and numbers.
#include "AsyncSocket.h"
#include "PosixWinsock.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

namespace {

TEST(NthWord, Fields) {
  struct Row {
    const char* s;
    char sep;
    int n;
    const char* want;
  };
  const Row rows[] = {
      {"a:b:c", ':', 2, "b"},   {"a::c", ':', 2, ""},         {"abc", ':', 1, "abc"},
      {"", ':', 1, ""},         {"a:b", ':', 3, ""},          {"http://h/p", '/', 3, "h"},
      {"h:80", ':', 1, "h"},    {"h:80", ':', 2, "80"},       {":x", ':', 1, ""},
      {"a:b:c", ':', 0, ""},    {"HTTP/1.0 200 OK", ' ', 2, "200"},
  };
  for (const Row& r : rows) EXPECT_EQ(NthWord(r.s, r.sep, r.n), r.want) << r.s << " " << r.n;
}

TEST(NthWordPos, Positions) {
  struct Row {
    const char* s;
    char ch;
    int n;
    int want;
  };
  const Row rows[] = {
      {"a/b/c", '/', 2, 4}, {"a/b/", '/', 2, 5}, {"abc", '/', 1, 4},
      {"/abc", '/', 1, 1},  {"http://h/p", '/', 3, 9}, {"", '/', 1, 1},
  };
  for (const Row& r : rows) EXPECT_EQ(NthWordPos(r.s, r.ch, r.n), r.want) << r.s << " " << r.n;
}

class ErrorText : public ::testing::Test {
protected:
  std::string Text(uint16_t n) {
    std::string t;
    socket.LookupErrorMessage(n, t);
    return t;
  }
  TAsyncSocket socket{nullptr};
};

TEST_F(ErrorText, TableRows) {
  EXPECT_EQ(Text(10061), "10061:Connection refused");
  EXPECT_EQ(Text(10054), "10054:Connection reset by peer");
  EXPECT_EQ(Text(11001), "11001:Host not found");
  EXPECT_EQ(Text(10004), "10004:Interrupted system call");
  EXPECT_EQ(Text(11004), "11004:Valid name, no data record of requested type");
  EXPECT_EQ(Text(0), "");
  EXPECT_EQ(Text(10001), "Unknown Error No. 10001");
  int rows = 0;
  for (const auto& row : sock::ErrorTexts) rows += row.Text.size() <= 51;
  EXPECT_EQ(rows, 51);
}

TEST_F(ErrorText, ExpectedAndLowErrorsPassWithTheirNumberKept) {
  struct Row {
    int error;
    bool raises;
  };
  sock::TPosixWinsock api;
  for (const Row& r : {Row{10035, false}, Row{10000, false}, Row{5, false}, Row{10061, true}}) {
    struct Api : sock::TPosixWinsock {
      int error;
      int WSAGetLastError() override { return error; }
    } failing;
    failing.error = r.error;
    sock::SetWinsock(&failing);
    std::string text = "x";
    if (r.raises)
      EXPECT_THROW(socket.CheckSocketError(sock::WSAEWOULDBLOCK, text), ESockError);
    else
      EXPECT_NO_THROW(socket.CheckSocketError(sock::WSAEWOULDBLOCK, text));
    sock::SetWinsock(nullptr);
    EXPECT_EQ(socket.LastErrorNo, r.error);
  }
}

TEST(ErrorNumbers, PosixErrorsMapToWinsockNumbers) {
  using sock::TPosixWinsock;
  EXPECT_EQ(TPosixWinsock::ErrorFromErrno(EWOULDBLOCK), 10035);
  EXPECT_EQ(TPosixWinsock::ErrorFromErrno(ENOTCONN), 10057);
  EXPECT_EQ(TPosixWinsock::ErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(TPosixWinsock::ErrorFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(TPosixWinsock::ErrorFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(TPosixWinsock::ErrorFromErrno(EPIPE), 10054);
  EXPECT_EQ(TPosixWinsock::ErrorFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(TPosixWinsock::ErrorFromLookup(EAI_NONAME), 11001);
  EXPECT_EQ(TPosixWinsock::ErrorFromLookup(EAI_AGAIN), 11002);
  EXPECT_GT(TPosixWinsock::ErrorFromErrno(EIO), 11004) << "an unmapped error stays an error";
}

TEST(StrToInt, AcceptsDecimalAndHexadecimal) {
  struct Row {
    const char* text;
    int32_t want;
  };
  for (const Row& r : {Row{"80", 80}, Row{"  8080", 8080}, Row{"-12", -12}, Row{"+7", 7}, Row{"$1F", 31},
                       Row{"0x1f", 31}, Row{"0X10", 16}, Row{"2147483647", 2147483647},
                       Row{"-2147483648", INT32_MIN}, Row{"$FFFFFFFF", -1}})
    EXPECT_EQ(StrToInt(r.text), r.want) << r.text;
}

TEST(StrToInt, RefusesWhatIsNotANumber) {
  for (const char* text : {"x", "", " ", "12a", "2147483648", "0x", "$", "1 2", "$100000000", "--1", "80 ", " 8080 "}) {
    try {
      StrToInt(text);
      ADD_FAILURE() << text;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + text + "' is not a valid integer value");
    }
  }
}

}  // namespace
