#include "sources/WhoisText.h"

#include "base/TextCoding.h"

#include <algorithm>
#include <cstdint>

namespace site {

namespace {

// Code points of the KOI8-R bytes 0x80-0xFF.
constexpr char16_t kKoi8r[128] = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
};

// Windows-1252 in 0x80-0x9F, where Latin-1 has only invisible controls; the
// five bytes it leaves unassigned stay unreadable.
constexpr char16_t kWindows1252Low[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// How often each letter а..я occurs in Russian text, per mille.
constexpr int kRussianFrequency[32] = {
    80, 16, 45, 17, 30, 85, 9, 16, 74, 12, 35, 44, 32, 67, 110, 28,
    47, 55, 63, 26, 3, 10, 5, 14, 7, 4, 1, 19, 17, 3, 6, 20,
};

// A word that turns from lower case to upper case in its middle is what
// Title-case text looks like in the wrong Cyrillic charset.
constexpr int kCaseFlipPenalty = 100;

// Bytes in valid multi-byte sequences per broken byte above which a reply counts as UTF-8.
constexpr std::size_t kUtf8Majority = 8;

bool IsCyrillicUpper(char32_t c) { return (c >= 0x0410 && c <= 0x042F) || c == 0x0401; }
bool IsCyrillicLower(char32_t c) { return (c >= 0x0430 && c <= 0x044F) || c == 0x0451; }

char32_t ToLower(char32_t c) {
  if (c == 0x0401) return 0x0451;
  return IsCyrillicUpper(c) ? c + 0x20 : c;
}

char32_t CodePoint(unsigned char byte, Charset charset) {
  if (byte < 0x80) return byte;
  switch (charset) {
    case Charset::Koi8r: return kKoi8r[byte - 0x80];
    case Charset::Windows1251: return Cp1251CodePoint(byte) ? Cp1251CodePoint(byte) : 0xFFFD;
    case Charset::Windows1252: return byte < 0xA0 ? kWindows1252Low[byte - 0x80] : byte;
    case Charset::Utf8: return byte;
  }
  return byte;
}

long RussianScore(std::string_view bytes, Charset charset) {
  long score = 0;
  bool previousLower = false;
  for (unsigned char byte : bytes) {
    const char32_t c = CodePoint(byte, charset);
    const bool upper = IsCyrillicUpper(c);
    const bool lower = IsCyrillicLower(c);
    if (upper || lower) {
      const char32_t folded = ToLower(c) == 0x0451 ? 0x0435 : ToLower(c);
      score += kRussianFrequency[folded - 0x0430];
      if (upper && previousLower) score -= kCaseFlipPenalty;
    }
    previousLower = lower;
  }
  return score;
}

// Cyrillic text runs in whole words of high bytes; Latin-1 text has a high
// byte here and there between ASCII letters.
bool LooksCyrillic(std::string_view bytes) {
  std::size_t high = 0, inRuns = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) continue;
    ++high;
    const bool before = i > 0 && static_cast<unsigned char>(bytes[i - 1]) >= 0x80;
    const bool after = i + 1 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) >= 0x80;
    if (before || after) ++inRuns;
  }
  return high > 0 && inRuns * 2 >= high;
}

// Length of the valid UTF-8 sequence at `at`, 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length;
  char32_t minimum;
  char32_t c;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, minimum = 0x80, c = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, minimum = 0x800, c = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, minimum = 0x10000, c = lead & 0x07;
  else return 0;
  if (at + length > bytes.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    c = c << 6 | (byte(at + i) & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

// Line ends become "\n"; other control characters would only confuse the page.
void AppendAscii(std::string& out, unsigned char byte, unsigned char next) {
  if (byte == '\r') {
    if (next != '\n') out += '\n';
    return;
  }
  if (byte == '\n' || byte == '\t' || (byte >= 0x20 && byte != 0x7F)) out += static_cast<char>(byte);
}

}  // namespace

Charset GuessCharset(std::string_view bytes) {
  // UTF-8 with a stray broken byte is still UTF-8: read as a single-byte
  // charset, all of its letters would turn to mojibake.
  std::size_t inSequences = 0, broken = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = Utf8SequenceLength(bytes, i);
    if (length == 0) ++broken;
    else if (length > 1) inSequences += length;
    i += std::max<std::size_t>(length, 1);
  }
  if (broken == 0 || inSequences >= kUtf8Majority * broken) return Charset::Utf8;
  if (!LooksCyrillic(bytes)) return Charset::Windows1252;
  return RussianScore(bytes, Charset::Koi8r) > RussianScore(bytes, Charset::Windows1251) ? Charset::Koi8r
                                                                                         : Charset::Windows1251;
}

std::string DecodeText(std::string_view bytes, Charset charset) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    const unsigned char next = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    if (byte < 0x80) {
      AppendAscii(out, byte, next);
      ++i;
    } else if (charset == Charset::Utf8) {
      const std::size_t length = Utf8SequenceLength(bytes, i);
      if (length == 0) {
        AppendUtf8(out, 0xFFFD);
        ++i;
      } else {
        out.append(bytes.substr(i, length));
        i += length;
      }
    } else {
      AppendUtf8(out, CodePoint(byte, charset));
      ++i;
    }
  }
  return out;
}

}  // namespace site
