// A DNS answer as a server on the path could forge it, read as each record
// type: the only failure is the one malformed-answer error, and what is kept
// is at most the limit of records, each UTF-8 text without control
// characters (C0, DEL or C1), with a TTL only when there is a record.
#include "FuzzSupport.h"
#include "sources/DnsMessage.h"

#include <cstring>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto type = static_cast<site::DnsType>(data[0] % 8);
  site::DnsMessage message;
  try {
    message = site::ReadDnsMessage(std::span<const unsigned char>(data + 1, size - 1), type);
  } catch (const std::runtime_error& e) {
    if (std::strcmp(e.what(), "malformed DNS answer") != 0) Defect(std::string("undocumented failure: ") + e.what());
    return 0;
  }
  if (message.Records.size() > site::kMaxDnsRecords) Defect("more records than the limit");
  if (message.Records.empty() && message.Ttl != 0) Defect("a TTL without records");
  for (const std::string& record : message.Records) {
    if (!IsUtf8(record)) Defect("record not UTF-8: " + record);
    for (size_t i = 0; i < record.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(record[i]);
      const bool c1 = c == 0xC2 && i + 1 < record.size() && static_cast<unsigned char>(record[i + 1]) < 0xA0;
      if (c < 0x20 || c == 0x7F || c1) Defect("control character in record: " + record);
    }
  }
  return 0;
}
