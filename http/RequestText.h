#pragma once
// Making caller-supplied and server-supplied text safe to put into a request.
// A URL, a Location received from a server, or a header value can carry bytes
// that would end the request line or a header line early and let the rest be
// read as further lines. These functions percent-encode exactly those bytes,
// so the server decodes the same value back, and leave every other byte alone.

#include <string>

namespace http {

// For the request target and URI-valued header lines: encodes control bytes
// (0-31, 127), the blank, and bytes above 127, none of which a request line
// may carry. "%" itself is left alone, so an escape already typed keeps its
// meaning.
std::string EscapeUriBytes(const std::string& text);

// For free-text header values (User-Agent, From, Cookie): encodes only CR, LF
// and NUL, the bytes that end or cut a line.
std::string EscapeLineBreaks(const std::string& text);

}  // namespace http
