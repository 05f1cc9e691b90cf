#include "page/Html.h"

#include "base/TextCoding.h"

namespace site {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// C0 controls, DEL and the C1 controls U+0080 to U+009F: valid UTF-8, but
// none of them is text, and a browser may act on them rather than show them.
bool IsControl(std::string_view sequence) {
  const auto lead = static_cast<unsigned char>(sequence[0]);
  if (sequence.size() == 1) return lead < 0x20 || lead == 0x7F;
  return lead == 0xC2 && static_cast<unsigned char>(sequence[1]) < 0xA0;
}

// Length of the valid UTF-8 sequence at the start of `text`, 0 if none.
std::size_t SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 0 || length > text.size() || !IsValidUtf8(text.substr(0, length))) return 0;
  return length;
}

}  // namespace

Html& Html::Tag(std::string_view markup) {
  FOut += markup;
  return *this;
}

Html& Html::Text(std::string_view text) {
  FOut.reserve(FOut.size() + text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    switch (c) {
      case '&': FOut += "&amp;"; ++i; continue;
      case '<': FOut += "&lt;"; ++i; continue;
      case '>': FOut += "&gt;"; ++i; continue;
      case '"': FOut += "&quot;"; ++i; continue;
      case '\'': FOut += "&#39;"; ++i; continue;
      case '\t':
      case '\n': FOut += c; ++i; continue;
      default: break;
    }
    const std::size_t length = SequenceLength(text.substr(i));
    if (length == 0 || IsControl(text.substr(i, length))) {
      FOut += kReplacement;
      i += length == 0 ? 1 : length;
    } else {
      FOut.append(text.substr(i, length));
      i += length;
    }
  }
  return *this;
}

}  // namespace site
