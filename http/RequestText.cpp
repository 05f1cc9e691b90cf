#include "RequestText.h"

namespace http {

namespace {

template <typename Pred>
std::string PercentEncodeIf(const std::string& text, Pred mustEncode) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (mustEncode(c)) {
      out += '%';
      out += Hex[c >> 4];
      out += Hex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

std::string EscapeUriBytes(const std::string& text) {
  return PercentEncodeIf(text, [](unsigned char c) { return c <= 32 || c >= 127; });
}

std::string EscapeLineBreaks(const std::string& text) {
  return PercentEncodeIf(text, [](unsigned char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

}  // namespace http
