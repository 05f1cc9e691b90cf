#include "base/TextCoding.h"

#include <idn2.h>
#include <unistr.h>

#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace site {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

const uint8_t* Bytes(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

// Valid UTF-8 as it is, anything else as U+FFFD: glibc's UTF-8 decoder lets
// code points past U+10FFFF through.
std::string CheckedUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    ucs4_t c;
    const int length = u8_mbtoucr(&c, Bytes(bytes) + at, bytes.size() - at);
    if (length < 0) {
      out += kReplacement;
      ++at;
    } else {
      out.append(bytes.substr(at, length));
      at += length;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) { return u8_check(Bytes(bytes), bytes.size()) == nullptr; }

std::optional<std::string> ToUtf8(std::string_view bytes, const std::string& charset, bool strict) {
  if (charset == "UTF-8") {
    if (strict && !IsValidUtf8(bytes)) return std::nullopt;
    return CheckedUtf8(bytes);
  }
  const iconv_t converter = iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  char buffer[4096];
  char* in = const_cast<char*>(bytes.data());
  std::size_t left = bytes.size();
  bool unreadable = false;
  // The last call, without input, ends a stateful charset's shift sequence.
  for (bool flushing = false; !flushing && !unreadable;) {
    flushing = left == 0;
    char* to = buffer;
    std::size_t room = sizeof buffer;
    const std::size_t done = flushing ? iconv(converter, nullptr, nullptr, &to, &room) : iconv(converter, &in, &left, &to, &room);
    out.append(buffer, to - buffer);
    if (done == static_cast<std::size_t>(-1) && errno != E2BIG && left > 0) {
      unreadable = strict;
      out += kReplacement;
      ++in;
      --left;
    }
  }
  iconv_close(converter);
  if (unreadable) return std::nullopt;
  return out;
}

std::optional<std::string> ClientTextToUtf8(std::string_view bytes) {
  bool ascii = true;
  for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (!ascii && IsValidUtf8(bytes)) return std::string(bytes);
  return ToUtf8(bytes, "WINDOWS-1251", true);
}

std::string UnicodeName(const std::string& ascii) {
  std::string lower = ascii;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower.find("xn--") == std::string::npos) return ascii;
  char* unicode = nullptr;
  if (idn2_to_unicode_8z8z(lower.c_str(), &unicode, 0) != IDN2_OK) return ascii;
  std::string name(unicode);
  idn2_free(unicode);
  return name;
}

std::string ShownName(const std::string& ascii) {
  const std::string unicode = UnicodeName(ascii);
  return unicode == ascii ? ascii : unicode + " (" + ascii + ")";
}

}  // namespace site
