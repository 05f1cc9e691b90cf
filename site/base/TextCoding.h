#pragma once
// Byte-level decoding of what clients send (percent escapes and the two
// character sets an address arrives in), conversion of other charsets to
// UTF-8, and the two forms of a domain name.

#include <optional>
#include <string>
#include <string_view>

namespace site {

// "%41" becomes "A"; a '%' not followed by two hex digits stays as it is, and
// '+' stays '+' (the window sends addresses without any encoding).
std::string PercentDecode(std::string_view text);

bool IsValidUtf8(std::string_view bytes);

// `bytes` in `charset` (iconv's name, "WINDOWS-1251", "EUC-JP", ...) as UTF-8.
// A byte sequence without a character becomes U+FFFD, or, when `strict`, makes
// the whole text unreadable. None when iconv does not know the charset.
std::optional<std::string> ToUtf8(std::string_view bytes, const std::string& charset, bool strict = false);

// The Unicode form of an ASCII (IDNA) domain name, "пример.рф" for
// "xn--e1afmkfd.xn--p1ai"; the name itself when it has no international label
// or one that does not decode.
std::string UnicodeName(const std::string& ascii);

// A domain name as a page names it: "пример.рф (xn--e1afmkfd.xn--p1ai)" for an
// international name, so that both forms can be searched for; the name alone otherwise.
std::string ShownName(const std::string& ascii);

// Valid UTF-8 that holds a non-ASCII byte is taken as UTF-8 (what browsers
// send), anything else as Windows-1251 (what the window sends).
std::optional<std::string> ClientTextToUtf8(std::string_view bytes);

}  // namespace site
