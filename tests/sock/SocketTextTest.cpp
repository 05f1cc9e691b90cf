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
  const std::vector<std::pair<uint16_t, std::string>> rows = {
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open files"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on non-socket"},
      {10039, "Destination address required"},
      {10040, "Message too long"},
      {10041, "Wrong protocol type for socket"},
      {10042, "Bad protocol option"},
      {10043, "Protocol not supported"},
      {10044, "Socket type not supported"},
      {10045, "Operation not supported on socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported by protocol family"},
      {10048, "Address already in use"},
      {10049, "Can't assign requested address"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Network dropped connection or reset"},
      {10053, "Software caused connection abort"},
      {10054, "Connection reset by peer"},
      {10055, "No buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send after socket shutdown"},
      {10059, "Too many references, can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name too long"},
      {10064, "Host is down"},
      {10065, "No route to Host"},
      {10066, "Directory not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disc quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network subsystem is unavailable"},
      {10092, "Incompatible version of WINSOCK.DLL"},
      {10093, "Successful WSAStartup not yet performed"},
      {11001, "Host not found"},
      {11002, "Non-Authoritative Host not found"},
      {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
      {11004, "Valid name, no data record of requested type"}};
  for (const auto& [number, text] : rows) EXPECT_EQ(Text(number), std::to_string(number) + ":" + text);
  EXPECT_EQ(Text(0), "");
  EXPECT_EQ(Text(10001), "Unknown Error No. 10001");
  EXPECT_EQ(Text(12000), "Unknown Error No. 12000");
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
