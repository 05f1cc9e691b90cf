#include "sources/WhoisText.h"

#include "base/TextCoding.h"

#include <uchardet/uchardet.h>
#include <unistr.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>

namespace site {

namespace {

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

// uchardet's names that iconv reads better as a superset: Latin-1 text from
// Windows has its quotes and dashes in 0x80-0x9F, Japanese and Korean text
// from Windows the vendors' extra characters.
struct Superset {
  const char* Detected;
  const char* Read;
};
constexpr Superset kSupersets[] = {{"ISO-8859-1", "WINDOWS-1252"}, {"SHIFT_JIS", "CP932"}, {"EUC-KR", "CP949"}};

// The charsets registries answer in. On a short answer uchardet may name a
// Mac, DOS or rare Latin code page ("Zürich" as ISO-8859-3, "København" as
// MAC-CENTRALEUROPE) that no registry uses; the fallback reads those better.
constexpr const char* kRegistryCharsets[] = {
    "KOI8-R", "WINDOWS-1251", "ISO-8859-5", "WINDOWS-1252", "ISO-8859-15", "ISO-8859-2", "WINDOWS-1250", "ISO-8859-7",
    "WINDOWS-1253", "ISO-8859-9", "WINDOWS-1254", "ISO-8859-13", "WINDOWS-1257", "TIS-620", "EUC-JP", "CP932", "ISO-2022-JP",
    "CP949", "UHC", "GB18030", "BIG5", "EUC-TW", "UTF-8"};

const uint8_t* Bytes(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

bool ReadsAsUtf8(std::string_view bytes) {
  // UTF-8 with a stray broken byte is still UTF-8: read in another charset,
  // all of its letters would turn to mojibake.
  std::size_t inSequences = 0, broken = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    ucs4_t c;
    const int length = u8_mbtoucr(&c, Bytes(bytes) + at, bytes.size() - at);
    if (length < 0) {
      ++broken;
      ++at;
      continue;
    }
    if (length > 1) inSequences += length;
    at += length;
  }
  return broken == 0 || inSequences >= kUtf8Majority * broken;
}

// uchardet's verdict; empty when it cannot tell.
std::string Detected(std::string_view bytes) {
  const std::unique_ptr<std::remove_pointer_t<uchardet_t>, decltype(&uchardet_delete)> detector(uchardet_new(), uchardet_delete);
  if (uchardet_handle_data(detector.get(), bytes.data(), bytes.size()) != 0) return {};
  uchardet_data_end(detector.get());
  std::string name = uchardet_get_charset(detector.get());
  for (const Superset& superset : kSupersets)
    if (name == superset.Detected) name = superset.Read;
  const bool used = std::any_of(std::begin(kRegistryCharsets), std::end(kRegistryCharsets), [&](const char* c) { return name == c; });
  return used ? name : std::string{};
}

long RussianScore(const std::string& text) {
  long score = 0;
  bool previousLower = false;
  for (std::size_t at = 0; at < text.size();) {
    ucs4_t c;
    at += u8_mbtouc(&c, Bytes(text) + at, text.size() - at);
    const bool upper = (c >= 0x0410 && c <= 0x042F) || c == 0x0401;
    const bool lower = (c >= 0x0430 && c <= 0x044F) || c == 0x0451;
    if (upper || lower) {
      const ucs4_t folded = c == 0x0401 || c == 0x0451 ? 0x0435 : upper ? c + 0x20 : c;
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

// Line ends become "\n"; other control characters would only confuse the page.
std::string Cleaned(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r') {
      if (i + 1 == text.size() || text[i + 1] != '\n') out += '\n';
    } else if (byte == '\n' || byte == '\t' || (byte >= 0x20 && byte != 0x7F)) {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string GuessCharset(std::string_view bytes) {
  // ISO-2022-JP is all ASCII bytes, told by its escape sequences.
  if (ReadsAsUtf8(bytes) && bytes.find('\x1B') == std::string_view::npos) return "UTF-8";
  if (std::string detected = Detected(bytes); !detected.empty()) return detected;
  if (ReadsAsUtf8(bytes)) return "UTF-8";
  if (!LooksCyrillic(bytes)) return "WINDOWS-1252";
  return RussianScore(*ToUtf8(bytes, "KOI8-R")) > RussianScore(*ToUtf8(bytes, "WINDOWS-1251")) ? "KOI8-R" : "WINDOWS-1251";
}

std::string DecodeText(std::string_view bytes, const std::string& charset) {
  std::optional<std::string> text = ToUtf8(bytes, charset);
  return Cleaned(text ? *text : *ToUtf8(bytes, "WINDOWS-1252"));
}

}  // namespace site
