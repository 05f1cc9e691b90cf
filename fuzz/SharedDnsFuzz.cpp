// A DNS answer as it comes back from the shared cache, where anyone who can
// write to Redis may have put any bytes. A first byte below 0x80 takes the
// rest as the stored text: it reads as an answer within the record limit or
// as nothing, and what it reads as is written back in a form that reads as the
// same answer and is never longer. Otherwise the rest makes an answer (flags,
// TTL, records split at 0xFF, any bytes in them) that must come back whole.
#include "FuzzSupport.h"
#include "sources/DnsMessage.h"
#include "sources/redis/SharedCache.h"

#include <cstring>

namespace {

bool Same(const site::DnsAnswer& a, const site::DnsAnswer& b) {
  return a.Ok == b.Ok && a.NxDomain == b.NxDomain && a.NoData == b.NoData && a.Ttl == b.Ttl && a.Records == b.Records &&
         a.Error == b.Error && a.TimedOut == b.TimedOut;
}

void StoredText(const std::string& text) {
  const auto answer = site::DecodeDnsAnswer(text);
  if (!answer) return;
  if (!answer->Ok || !answer->Error.empty() || answer->TimedOut) Defect("a stored answer read as a failure");
  if (answer->Records.size() > site::kMaxDnsRecords) Defect("more records than the limit");
  const std::string again = site::EncodeDnsAnswer(*answer);
  if (again.size() > text.size()) Defect("written back longer than it was read: " + again);
  const auto reread = site::DecodeDnsAnswer(again);
  if (!reread || !Same(*reread, *answer)) Defect("written back as another answer: " + again);
}

void Answer(const uint8_t* data, size_t size) {
  if (size < 5) return;
  site::DnsAnswer answer;
  answer.Ok = true;
  answer.NxDomain = data[0] & 1;
  answer.NoData = answer.NxDomain || (data[0] & 2);
  std::memcpy(&answer.Ttl, data + 1, 4);
  std::string rest(reinterpret_cast<const char*>(data + 5), size - 5);
  for (std::size_t at = 0; !rest.empty() && at <= rest.size();) {
    const std::size_t end = std::min(rest.find('\xFF', at), rest.size());
    answer.Records.push_back(rest.substr(at, end - at));
    at = end + 1;
  }
  const auto back = site::DecodeDnsAnswer(site::EncodeDnsAnswer(answer));
  if (answer.Records.size() > site::kMaxDnsRecords) {
    if (back) Defect("an answer past the record limit read back");
    return;
  }
  if (!back || !Same(*back, answer)) Defect("an answer did not come back whole");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] < 0x80) StoredText(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  else Answer(data + 1, size - 1);
  return 0;
}
