// What an owner finds in a new client, and what Abort does without a request.
#include "HttpClient.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpClientState, ValuesAtCreation) {
  THttpClient client(nullptr);
  EXPECT_EQ(client.Host, "");
  EXPECT_EQ(client.Port, 0);
  EXPECT_EQ(client.TimeOut, 0);
  EXPECT_EQ(client.ReportLevel, 1);
  EXPECT_EQ(client.Body, "Default.htm");
  EXPECT_EQ(client.Header, "Head.txt");
  EXPECT_FALSE(client.InputFileMode);
  EXPECT_FALSE(client.OutputFileMode);
  EXPECT_EQ(client.Proxy, "");
  EXPECT_EQ(client.ProxyPort, 0);
  EXPECT_EQ(client.ReplyNumber, 0);
  EXPECT_EQ(client.BytesRecvd, 0);
  EXPECT_EQ(client.BytesSent, 0);
  const THeaderInfo& info = client.HeaderInfo;
  for (const std::string* value : {&info.LocalMailAddress, &info.LocalProgram, &info.Cookie, &info.Referer,
                                   &info.UserId, &info.Password}) {
    EXPECT_EQ(*value, "");
  }
}

TEST(HttpClientState, CommandCodes) {
  EXPECT_EQ(cmdGet, 0);
  EXPECT_EQ(cmdOptions, 1);
  EXPECT_EQ(cmdHead, 2);
  EXPECT_EQ(cmdPost, 3);
  EXPECT_EQ(cmdPut, 4);
  EXPECT_EQ(cmdPatch, 5);
  EXPECT_EQ(cmdCopy, 6);
  EXPECT_EQ(cmdMove, 7);
  EXPECT_EQ(cmdDelete, 8);
  EXPECT_EQ(cmdLink, 9);
  EXPECT_EQ(cmdUnlink, 10);
  EXPECT_EQ(cmdTrace, 11);
  EXPECT_EQ(sizeof(CmdType), 1u);
}

TEST(HttpClientState, AbortSetsTheFlagsAndReportsNoTextOfItsOwn) {
  THttpClient client(nullptr);
  client.ReportLevel = 8;
  std::vector<std::string> texts;
  client.OnStatus = [&](TComponent*, const std::string& s) { texts.push_back(s); };
  client.Abort();
  EXPECT_TRUE(client.AsyncDone);
  EXPECT_TRUE(client.Canceled);
  EXPECT_EQ(texts, std::vector<std::string>{"Canceling"});
}

}  // namespace
