#pragma once
// Taking the lines of a reply apart. Lines come with their terminator (LF or
// CR LF) exactly as received.

#include <cstdint>
#include <string>

namespace http {

// The number in the second blank-separated field of a status line: only a
// field made wholly of decimal digits (with an optional sign) that fits in 32
// bits counts, and it is kept in 16 bits; anything else gives 0. So a code
// followed directly by the line end ("HTTP/1.0 200\r\n") gives 0.
int16_t StatusNumber(const std::string& statusLine);

// The line without its trailing LF and a CR before it.
std::string WithoutTerminator(const std::string& line);

// The header name a line is recognised by: its first blank-separated field in
// ASCII upper case, so "Location: /x" gives "LOCATION:" and "Location:/x"
// does not.
std::string HeaderField(const std::string& line);

// The end of the header: a lone LF, a lone CR LF, or the empty result of a
// read after the peer has closed.
bool EndsHeader(const std::string& line);

// The value of a Content-Length line, or -1 when it is not a plain decimal number.
int64_t ContentLengthValue(const std::string& value);

}  // namespace http
