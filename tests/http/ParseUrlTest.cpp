// Splitting URLs into Host, Port and path: one named row per case.
#include "TestClient.h"

#include <gtest/gtest.h>

namespace {

struct UrlRow {
  const char* name;
  std::string url;
  std::string hostBefore;
  int portBefore;
  std::string host;
  int port;
  std::string path;
  std::string urlAfter;
};

class ParseUrlTest : public testing::TestWithParam<UrlRow> {};

TEST_P(ParseUrlTest, Splits) {
  const UrlRow& row = GetParam();
  TestClient client;
  client.Host = row.hostBefore;
  client.Port = row.portBefore;
  client.URL() = row.url;
  client.ParseURL();
  EXPECT_EQ(client.Host, row.host);
  EXPECT_EQ(client.Port, row.port);
  EXPECT_EQ(client.Path(), row.path);
  EXPECT_EQ(client.URL(), row.urlAfter);
}

const std::string Long300 = "/" + std::string(299, 'p');

INSTANTIATE_TEST_SUITE_P(
    Http, ParseUrlTest,
    testing::Values(
        UrlRow{"PathAndQuery", "http://host/dir/page?x=1", "", 0, "host", 80, "/dir/page?x=1",
               "http://host/dir/page?x=1"},
        UrlRow{"PortInUrl", "http://host:8080/x", "", 0, "host", 8080, "/x", "http://host:8080/x"},
        UrlRow{"NoPathGetsSlash", "http://host", "", 0, "host", 80, "/", "http://host/"},
        UrlRow{"TrailingSlashIsThePath", "http://host/", "", 0, "host", 80, "/", "http://host/"},
        UrlRow{"NoSchemeKeepsPort", "host/x", "", 8081, "host", 8081, "/x", "host/x"},
        UrlRow{"NoSchemeZeroPortIs80", "host/x", "", 0, "host", 80, "/x", "host/x"},
        UrlRow{"NoSchemeWithPort", "host:81/x", "", 0, "host", 81, "/x", "host:81/x"},
        UrlRow{"PathOnlyKeepsHostAndPort", "/only/path", "keep", 99, "keep", 99, "/only/path", "/only/path"},
        UrlRow{"SchemeResetsPort", "http://h/x", "", 8080, "h", 80, "/x", "http://h/x"},
        UrlRow{"Gopher", "gopher://g/x", "", 0, "g", 70, "/x", "gopher://g/x"},
        UrlRow{"FtpInCapitals", "FTP://f/x", "", 0, "f", 21, "/x", "FTP://f/x"},
        UrlRow{"LongPathKeptWhole", "http://h" + Long300, "", 0, "h", 80, Long300, "http://h" + Long300},
        UrlRow{"ColonInAPathAlone", "/case?t=12:30", "keep", 8080, "keep", 8080, "/case?t=12:30", "/case?t=12:30"},
        UrlRow{"UrlInTheQueryOfAPath", "/search?u=http://x:9/y", "keep", 8080, "keep", 8080, "/search?u=http://x:9/y",
               "/search?u=http://x:9/y"},
        UrlRow{"UrlInTheQueryOfAUrl", "http://h:81/s?u=http://x:9/y", "", 0, "h", 81, "/s?u=http://x:9/y",
               "http://h:81/s?u=http://x:9/y"},
        UrlRow{"NoSchemeColonInPath", "host/a:b", "", 8081, "host", 8081, "/a:b", "host/a:b"},
        UrlRow{"RawBytesKeptInPath", "http://h/a b\r\n", "", 0, "h", 80, "/a b\r\n", "http://h/a b\r\n"},
        UrlRow{"UserInfoStaysInHost", "http://u@h:82/", "", 0, "u@h", 82, "/", "http://u@h:82/"},
        UrlRow{"BareNameIsHost", "page.html", "old", 0, "page.html", 80, "/", "page.html/"},
        UrlRow{"LoopbackWithPort", "http://127.0.0.1:8080", "", 0, "127.0.0.1", 8080, "/", "http://127.0.0.1:8080/"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailRow {
  const char* name;
  std::string url;
  std::string message;
};

class ParseUrlFailureTest : public testing::TestWithParam<FailRow> {};

TEST_P(ParseUrlFailureTest, Refuses) {
  TestClient client;
  client.URL() = GetParam().url;
  try {
    client.ParseURL();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Http, ParseUrlFailureTest,
    testing::Values(FailRow{"Empty", "", "Empty URL"},
                    FailRow{"Https", "https://h/", "HTTP Secure Socket is not supported"},
                    FailRow{"HttpsInCapitals", "HTTPS://h/", "HTTP Secure Socket is not supported"},
                    FailRow{"PortNotANumber", "http://h:abc/", "'abc' is not a valid integer value"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpParseUrlFailure, PortThatIsNotANumberIsAConversionError) {
  TestClient client;
  client.URL() = "http://h:8o/";
  EXPECT_THROW(client.ParseURL(), EConvertError);
}

}  // namespace
