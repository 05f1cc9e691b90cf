// The URL encoder and the Base64/uuencode encoder, checked by decoding their
// output with decoders written here from the formats' rules.
#include "FuzzSupport.h"
#include "UUProcessor.h"
#include "UrlEncoder.h"

#include <cctype>
#include <cstring>

namespace {

std::string UrlDecode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%') {
      if (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
          !std::isxdigit(static_cast<unsigned char>(s[i + 2])))
        Defect("UrlEncoder: broken escape");
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      if (!std::isalnum(static_cast<unsigned char>(s[i]))) Defect("UrlEncoder: raw byte left");
      out += s[i];
    }
  }
  return out;
}

// Decodes CR LF lines of Base64 (mime) or uuencode (code) back to bytes,
// checking every line's shape on the way. A uuencode line cuts its last group
// to the characters it needs; a Base64 line pads it with "=".
std::string Decode(const std::string& text, bool mime) {
  static const std::string Base64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) Defect("UUProcessor: line without CR LF");
    std::string line = text.substr(pos, end - pos);
    pos = end + 2;
    size_t declared = 0;
    if (mime) {
      if (line.empty() || line.size() % 4 != 0) Defect("UUProcessor: Base64 line not in groups of four");
      const size_t pad = line.size() - line.find_last_not_of('=') - 1;
      if (pad > 2) Defect("UUProcessor: too much padding");
      line.resize(line.size() - pad);
    } else {
      if (line.empty()) Defect("UUProcessor: empty uuencode line");
      declared = static_cast<size_t>((line[0] - ' ') & 0x3F);
      line.erase(0, 1);
      if (line.size() % 4 == 1) Defect("UUProcessor: uuencode group of one character");
    }
    std::string bytes;
    uint32_t bits = 0;
    int count = 0;
    for (char c : line) {
      int d;
      if (mime) {
        const size_t p = Base64.find(c);
        if (p == std::string::npos) Defect("UUProcessor: not Base64");
        d = static_cast<int>(p);
      } else {
        if (c <= ' ' || c > '`') Defect("UUProcessor: not uuencode");
        d = (c - ' ') & 0x3F;
      }
      bits = (bits << 6) | static_cast<uint32_t>(d);
      count += 6;
      if (count >= 8) {
        count -= 8;
        bytes += static_cast<char>((bits >> count) & 0xFF);
      }
    }
    if (!mime && declared != bytes.size()) Defect("UUProcessor: wrong uuencode line length");
    if (bytes.size() > 45) Defect("UUProcessor: line over 45 bytes");
    out += bytes;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnsureApplication();
  const std::string input(reinterpret_cast<const char*>(data), size);

  TUrlEncoder encoder(nullptr);
  encoder.InputString = input;
  if (UrlDecode(encoder.Encode()) != input) Defect("UrlEncoder round trip");

  for (const UUMethods method : {uuMime, uuCode}) {
    TMemoryStream in(input), out;
    TUUProcessor uu(nullptr);
    uu.Method = method;
    uu.InputStream = &in;
    uu.OutputStream = &out;
    uu.Encode();
    if (Decode(out.Bytes(), method == uuMime) != input) Defect("UUProcessor round trip");
  }
  return 0;
}
