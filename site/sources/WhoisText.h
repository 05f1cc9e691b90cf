#pragma once
// WHOIS servers answer in their own charsets and never say which. Replies
// become UTF-8 text here: valid UTF-8 stays as it is; otherwise the bytes are
// read as KOI8-R, Windows-1251 or Windows-1252 (Latin-1 with printable
// 0x80-0x9F), whichever the text looks like.

#include <string>
#include <string_view>

namespace site {

enum class Charset { Utf8, Koi8r, Windows1251, Windows1252 };

Charset GuessCharset(std::string_view bytes);

// Always valid UTF-8, line ends as "\n", without control characters other than tabs.
std::string DecodeText(std::string_view bytes, Charset charset);

inline std::string WhoisTextToUtf8(std::string_view bytes) { return DecodeText(bytes, GuessCharset(bytes)); }

}  // namespace site
