#include "UrlEncoder.h"

#include <exception>

namespace {

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string TUrlEncoder::Encode() {
  static constexpr char Hex[] = "0123456789ABCDEF";
  try {
    std::string result;
    result.reserve(InputString.size());
    for (const char ch : InputString) {
      const auto c = static_cast<unsigned char>(ch);
      if (IsAsciiAlnum(c)) {
        result += ch;
      } else if (c == ' ') {
        result += '+';
      } else {
        result += '%';
        result += Hex[c >> 4];
        result += Hex[c & 15];
      }
    }
    return result;
  } catch (const std::exception& e) {
    if (OnError) OnError(this, "Error during encode", e.what());
    return InputString;
  }
}
