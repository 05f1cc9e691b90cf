#pragma once
// Taking the lines of a reply apart. Lines come with their terminator (LF or
// CR LF) exactly as received.

#include <cstdint>
#include <string>

namespace http {

// The status code of a status line: its second blank-separated field (the
// line end aside) when that is exactly three decimal digits from 100 to 599;
// anything else gives 0, which no reply has.
int16_t StatusNumber(const std::string& statusLine);

// The line without its trailing LF and a CR before it.
std::string WithoutTerminator(const std::string& line);

// The header name a line is recognised by: its first blank-separated field in
// ASCII upper case, so "Location: /x" gives "LOCATION:" and "Location:/x"
// does not.
std::string HeaderField(const std::string& line);

// The end of the header: a lone LF or a lone CR LF. (The empty result of a
// read after the peer has closed ends no header.)
bool EndsHeader(const std::string& line);

// The value of a Content-Length line, or -1 when it is not a plain decimal number.
int64_t ContentLengthValue(const std::string& value);

}  // namespace http
