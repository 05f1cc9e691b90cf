// Reading DNS answers: well-formed ones in presentation form, and every kind
// of malformed message refused rather than read past its end.
#include "sources/DnsMessage.h"
#include "sources/redis/SharedCache.h"

#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>

using site::DnsType;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes U16(unsigned v) { return {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)}; }
Bytes U32(std::uint32_t v) { return U16(v >> 16) + U16(v & 0xffff); }

// A reply to "a.test A" (the question's name sits at offset 12) with the given sections.
Bytes Reply(unsigned answers, unsigned authorities, const Bytes& records) {
  const Bytes question = {1, 'a', 4, 't', 'e', 's', 't', 0, 0, 1, 0, 1};
  return U16(0) + U16(0x8180) + U16(1) + U16(answers) + U16(authorities) + U16(0) + question + records;
}

const Bytes kOwner = {0xc0, 12};

Bytes Record(unsigned type, std::uint32_t ttl, const Bytes& data, unsigned length) {
  return kOwner + U16(type) + U16(1) + U32(ttl) + U16(length) + data;
}
Bytes Record(unsigned type, std::uint32_t ttl, const Bytes& data) {
  return Record(type, ttl, data, static_cast<unsigned>(data.size()));
}

const Bytes kSoaData = Bytes{2, 'n', 's', 0xc0, 12, 1, 'h', 0xc0, 12} + U32(7) + U32(3600) + U32(600) + U32(86400) +
                       U32(45);

struct Row {
  const char* Label;
  DnsType Type;
  Bytes Message;
  std::optional<std::vector<std::string>> Records;  // empty: refused as malformed
  std::uint32_t Ttl = 0;
  std::optional<std::uint32_t> NegativeTtl = std::nullopt;
};

TEST(DnsMessageTest, ReadsWhatIsThereAndNothingMore) {
  const Row rows[] = {
      {"address", DnsType::A, Reply(1, 0, Record(1, 300, {192, 0, 2, 1})), {{"192.0.2.1"}}, 300},
      {"smallest TTL of two", DnsType::A, Reply(2, 0, Record(1, 300, {192, 0, 2, 1}) + Record(1, 60, {192, 0, 2, 2})),
       {{"192.0.2.1", "192.0.2.2"}}, 60},
      {"other types passed over", DnsType::A, Reply(2, 0, Record(5, 300, kOwner) + Record(1, 60, {192, 0, 2, 2})),
       {{"192.0.2.2"}}, 60},
      {"mail exchanger at the root", DnsType::MX, Reply(1, 0, Record(15, 300, U16(0) + Bytes{0})), {{"0 ."}}, 300},
      {"empty and escaped text", DnsType::TXT, Reply(1, 0, Record(16, 300, {0, 3, 'a', '"', 0x01})),
       {{R"("" "a\"\001")"}}, 300},
      {"no data, SOA in authority", DnsType::A, Reply(0, 1, Record(6, 120, kSoaData)), {{}}, 0, 45},
      {"short header", DnsType::A, Bytes{0, 0, 0x81, 0x80, 0}, std::nullopt},
      {"fewer records than counted", DnsType::A, Reply(2, 0, Record(1, 300, {192, 0, 2, 1})), std::nullopt},
      {"address of five bytes", DnsType::A, Reply(1, 0, Record(1, 300, {192, 0, 2, 1, 9})), std::nullopt},
      {"data past the end", DnsType::A, Reply(1, 0, Record(1, 300, {192, 0, 2, 1}, 40)), std::nullopt},
      {"name pointing at itself", DnsType::A,
       Reply(1, 0, Bytes{0xc0, 24} + U16(1) + U16(1) + U32(300) + U16(4) + Bytes{192, 0, 2, 1}), std::nullopt},
      {"text longer than its record", DnsType::TXT, Reply(1, 0, Record(16, 300, {9, 'a', 'b'})), std::nullopt},
      {"name running past its record", DnsType::NS,
       Reply(1, 0, Record(2, 300, {3, 'n', 's', '1', 0xc0, 12}, 2) + Record(2, 300, {0})), std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Label);
    if (!row.Records) {
      EXPECT_THROW(site::ReadDnsMessage(row.Message, row.Type), std::runtime_error);
      continue;
    }
    const site::DnsMessage message = site::ReadDnsMessage(row.Message, row.Type);
    EXPECT_EQ(message.Records, *row.Records);
    EXPECT_EQ(message.Ttl, row.Ttl);
    EXPECT_EQ(message.NegativeTtl, row.NegativeTtl);
  }
}

TEST(DnsMessageTest, KeepsAtMostTheCap) {
  Bytes records;
  for (int i = 0; i < 100; ++i) records = records + Record(1, 300, {10, 0, 0, static_cast<unsigned char>(i)});
  const auto message = site::ReadDnsMessage(Reply(100, 0, records), DnsType::A);
  ASSERT_EQ(message.Records.size(), site::kMaxDnsRecords);
  EXPECT_EQ(message.Records.back(), "10.0.0." + std::to_string(site::kMaxDnsRecords - 1));
}

}  // namespace

// The form in which instances share DNS answers: read back exactly, and
// anything else in Redis refused rather than read past its end.
TEST(SharedDnsAnswer, ComesBackAsItWasStoredAndRefusesWhatIsNotOne) {
  site::DnsAnswer answer;
  answer.Ok = true;
  answer.Ttl = 3600;
  answer.Records = {"10 mail.example.test", std::string("\"a:b\n\0c\"", 8), ""};
  const auto back = site::DecodeDnsAnswer(site::EncodeDnsAnswer(answer));
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->Ok);
  EXPECT_FALSE(back->NoData);
  EXPECT_EQ(back->Ttl, 3600u);
  EXPECT_EQ(back->Records, answer.Records);
  site::DnsAnswer missing;
  missing.Ok = missing.NoData = missing.NxDomain = true;
  missing.Ttl = 60;
  const auto nx = site::DecodeDnsAnswer(site::EncodeDnsAnswer(missing));
  ASSERT_TRUE(nx);
  EXPECT_TRUE(nx->NxDomain && nx->NoData && nx->Records.empty());

  const std::string tooMany = [] {
    std::string text = "00 1\n";
    for (std::size_t i = 0; i <= site::kMaxDnsRecords; ++i) text += "1:x";
    return text;
  }();
  for (const std::string bad : {"", "00", "20 1\n", "00 x\n", "00 1", "00 1\n5:abc", "00 1\n3abc", "00 1\n-1:a",
                                "00 99999999999\n", tooMany.c_str()})
    EXPECT_FALSE(site::DecodeDnsAnswer(bad)) << bad;
}
