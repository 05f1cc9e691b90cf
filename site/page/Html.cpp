#include "page/Html.h"

#include "base/TextCoding.h"

#include <algorithm>
#include <array>

namespace site {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at the start of `text`, 0 if none. A
// two-byte sequence (all of Cyrillic) is checked here; longer ones by IsValidUtf8.
std::size_t SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead >= 0xC2 && lead <= 0xDF)
    return text.size() >= 2 && (static_cast<unsigned char>(text[1]) & 0xC0) == 0x80 ? 2 : 0;
  const std::size_t length = (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 0 || length > text.size() || !IsValidUtf8(text.substr(0, length))) return 0;
  return length;
}

// The C1 controls U+0080 to U+009F: valid UTF-8, but none of them is text,
// and a browser may act on them rather than show them.
bool IsC1Control(std::string_view sequence) {
  return sequence.size() == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
         static_cast<unsigned char>(sequence[1]) < 0xA0;
}

// The ASCII bytes that go to the page as they are.
constexpr auto kPlain = [] {
  std::array<bool, 128> plain{};
  for (int c = 0x20; c < 0x7F; ++c) plain[c] = c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
  plain['\t'] = plain['\n'] = true;
  return plain;
}();

}  // namespace

Html& Html::Tag(std::string_view markup) {
  FOut += markup;
  return *this;
}

Html& Html::Text(std::string_view text) {
  FOut.reserve(FOut.size() + text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    // Text is mostly letters: each run that needs no escaping is copied whole.
    const std::size_t run = i;
    for (;;) {
      if (i == text.size()) break;
      if (static_cast<unsigned char>(text[i]) < 0x80) {
        if (!kPlain[static_cast<unsigned char>(text[i])]) break;
        ++i;
      } else {
        const std::size_t length = SequenceLength(text.substr(i));
        if (length == 0 || IsC1Control(text.substr(i, length))) break;
        i += length;
      }
    }
    FOut.append(text.substr(run, i - run));
    if (i == text.size()) break;
    switch (text[i]) {
      case '&': FOut += "&amp;"; break;
      case '<': FOut += "&lt;"; break;
      case '>': FOut += "&gt;"; break;
      case '"': FOut += "&quot;"; break;
      case '\'': FOut += "&#39;"; break;
      // Control characters and bytes that begin no valid sequence.
      default:
        FOut += kReplacement;
        i += std::max<std::size_t>(SequenceLength(text.substr(i)), 1);
        continue;
    }
    ++i;
  }
  return *this;
}

}  // namespace site
