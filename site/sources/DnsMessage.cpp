#include "sources/DnsMessage.h"

#include "base/TextCoding.h"

#include <ares.h>
#include <arpa/inet.h>
#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace site {

namespace {

constexpr int kTypeSoa = 6;
constexpr std::size_t kHeaderBytes = 12;

[[noreturn]] void Malformed() { throw std::runtime_error("malformed DNS answer"); }

// A cursor over the message; every read is checked against its end.
class WireReader {
public:
  explicit WireReader(std::span<const unsigned char> message) : FMessage(message) {}

  std::size_t Pos() const { return FPos; }
  void Seek(std::size_t pos) {
    if (pos > FMessage.size()) Malformed();
    FPos = pos;
  }
  std::uint32_t Number(int bytes) {
    if (FMessage.size() - FPos < static_cast<std::size_t>(bytes)) Malformed();
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | FMessage[FPos++];
    return value;
  }
  std::span<const unsigned char> Bytes(std::size_t count) {
    if (FMessage.size() - FPos < count) Malformed();
    auto bytes = FMessage.subspan(FPos, count);
    FPos += count;
    return bytes;
  }
  // c-ares follows compression pointers with its own loop and length checks.
  std::string Name() {
    char* text = nullptr;
    long encodedLength = 0;
    if (FPos >= FMessage.size() ||
        ares_expand_name(FMessage.data() + FPos, FMessage.data(), static_cast<int>(FMessage.size()), &text,
                         &encodedLength) != ARES_SUCCESS)
      Malformed();
    std::string name = *text ? text : ".";
    ares_free_string(text);
    Seek(FPos + static_cast<std::size_t>(encodedLength));
    return name;
  }

private:
  std::span<const unsigned char> FMessage;
  std::size_t FPos = 0;
};

std::string Address(std::span<const unsigned char> bytes, int family) {
  char text[INET6_ADDRSTRLEN];
  if (!inet_ntop(family, bytes.data(), text, sizeof text)) Malformed();
  return text;
}

// A character-string as zone files write it: quoted, with quotes and
// backslashes escaped. Valid UTF-8 stays as it is, so that text in any
// language reads as text; every other byte outside printable ASCII, and the
// C1 controls, become \DDD (which TxtText turns back into the byte).
std::string Quoted(std::span<const unsigned char> bytes) {
  std::string text = "\"";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = bytes[i];
    if (c == '"' || c == '\\') {
      text += '\\';
      text += static_cast<char>(c);
      continue;
    }
    if (c >= 0x20 && c < 0x7f) {
      text += static_cast<char>(c);
      continue;
    }
    const std::size_t length = c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
    const std::string_view sequence(reinterpret_cast<const char*>(bytes.data() + i), std::min(length, bytes.size() - i));
    if (length != 0 && sequence.size() == length && IsValidUtf8(sequence) &&
        !(c == 0xC2 && bytes[i + 1] < 0xA0)) {
      text += sequence;
      i += length - 1;
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\%03u", c);
    text += escaped;
  }
  return text + "\"";
}

std::string RecordData(WireReader& reader, DnsType type, std::size_t end) {
  switch (type) {
    case DnsType::A:
      if (end - reader.Pos() != 4) Malformed();
      return Address(reader.Bytes(4), AF_INET);
    case DnsType::AAAA:
      if (end - reader.Pos() != 16) Malformed();
      return Address(reader.Bytes(16), AF_INET6);
    case DnsType::CNAME:
    case DnsType::NS:
    case DnsType::PTR:
      return reader.Name();
    case DnsType::MX: {
      const std::uint32_t preference = reader.Number(2);
      return std::to_string(preference) + " " + reader.Name();
    }
    case DnsType::TXT: {
      std::string text;
      while (reader.Pos() < end) {
        const std::size_t length = reader.Number(1);
        if (end - reader.Pos() < length) Malformed();
        if (!text.empty()) text += ' ';
        text += Quoted(reader.Bytes(length));
      }
      return text;
    }
    case DnsType::SOA: {
      std::string text = reader.Name();
      text += ' ' + reader.Name();
      for (int i = 0; i < 5; ++i) text += ' ' + std::to_string(reader.Number(4));
      return text;
    }
  }
  Malformed();
}

}  // namespace

std::string_view DnsTypeName(DnsType type) {
  switch (type) {
    case DnsType::A: return "A";
    case DnsType::AAAA: return "AAAA";
    case DnsType::CNAME: return "CNAME";
    case DnsType::MX: return "MX";
    case DnsType::NS: return "NS";
    case DnsType::TXT: return "TXT";
    case DnsType::SOA: return "SOA";
    case DnsType::PTR: return "PTR";
  }
  return "?";
}

int DnsTypeCode(DnsType type) {
  switch (type) {
    case DnsType::A: return 1;
    case DnsType::AAAA: return 28;
    case DnsType::CNAME: return 5;
    case DnsType::MX: return 15;
    case DnsType::NS: return 2;
    case DnsType::TXT: return 16;
    case DnsType::SOA: return kTypeSoa;
    case DnsType::PTR: return 12;
  }
  return 0;
}

std::string ReverseName(const std::string& address) {
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
    const auto* octets = reinterpret_cast<const unsigned char*>(&v4.s_addr);
    std::string name;
    for (int i = 3; i >= 0; --i) name += std::to_string(octets[i]) + ".";
    return name + "in-addr.arpa";
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return {};
  // Each half-byte a label, the last first.
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name;
  for (int i = 15; i >= 0; --i) {
    name += kHex[v6.s6_addr[i] & 0xF];
    name += '.';
    name += kHex[v6.s6_addr[i] >> 4];
    name += '.';
  }
  return name + "ip6.arpa";
}

DnsMessage ReadDnsMessage(std::span<const unsigned char> message, DnsType type) {
  WireReader reader(message);
  if (message.size() < kHeaderBytes) Malformed();
  reader.Seek(4);
  const std::uint32_t questions = reader.Number(2);
  const std::uint32_t answers = reader.Number(2);
  const std::uint32_t authorities = reader.Number(2);
  reader.Seek(kHeaderBytes);
  for (std::uint32_t i = 0; i < questions; ++i) {
    reader.Name();
    reader.Number(4);
  }
  DnsMessage result;
  const int wanted = DnsTypeCode(type);
  for (std::uint32_t i = 0; i < answers + authorities; ++i) {
    reader.Name();
    const int rrType = static_cast<int>(reader.Number(2));
    const int rrClass = static_cast<int>(reader.Number(2));
    const std::uint32_t ttl = reader.Number(4);
    const std::size_t length = reader.Number(2);
    const std::size_t end = reader.Pos() + length;
    if (end > message.size()) Malformed();
    if (rrClass == kDnsClassIn && i < answers && rrType == wanted && result.Records.size() < kMaxDnsRecords) {
      result.Records.push_back(RecordData(reader, type, end));
      result.Ttl = result.Records.size() == 1 ? ttl : std::min(result.Ttl, ttl);
    } else if (rrClass == kDnsClassIn && i >= answers && rrType == kTypeSoa && !result.NegativeTtl) {
      reader.Name();
      reader.Name();
      reader.Bytes(16);  // serial, refresh, retry, expire
      result.NegativeTtl = std::min(ttl, reader.Number(4));
    }
    if (reader.Pos() > end) Malformed();
    reader.Seek(end);
  }
  return result;
}

}  // namespace site
