#pragma once
// WHOIS servers answer in their own charsets and never say which. Replies
// become UTF-8 text here: valid UTF-8 stays as it is; otherwise uchardet names
// the charset (the Cyrillic, Latin, Japanese, Korean and Chinese ones registries
// use) and iconv converts it. Where uchardet cannot tell, Cyrillic text is read
// as KOI8-R or Windows-1251, whichever reads as Russian, and other text as
// Windows-1252 (Latin-1 with printable 0x80-0x9F).

#include <string>
#include <string_view>

namespace site {

// The charset's name as iconv knows it: "UTF-8", "KOI8-R", "WINDOWS-1251", "EUC-JP", ...
std::string GuessCharset(std::string_view bytes);

// Always valid UTF-8, line ends as "\n", without control characters other than
// tabs; a byte the charset has no character for becomes U+FFFD.
std::string DecodeText(std::string_view bytes, const std::string& charset);

inline std::string WhoisTextToUtf8(std::string_view bytes) { return DecodeText(bytes, GuessCharset(bytes)); }

}  // namespace site
