#include "server/ReplyHead.h"

#include <boost/beast/http.hpp>

namespace site {

namespace {

// A field's value goes out without blanks around it, as the serializer sent it.
std::string_view Trimmed(std::string_view value) {
  const auto first = value.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string ReplyHead(const Reply& reply, unsigned version, bool keepAlive) {
  namespace http = boost::beast::http;
  std::string head;
  head.reserve(400 + reply.Location.size());
  head.append("HTTP/").append(1, static_cast<char>('0' + version / 10)).append(1, '.');
  head.append(1, static_cast<char>('0' + version % 10)).append(" ").append(std::to_string(reply.Status)).append(" ");
  head.append(http::obsolete_reason(static_cast<http::status>(reply.Status))).append("\r\n");
  head.append("Server: tarnwell-site\r\n");
  head.append(reply.Json ? "Content-Type: application/json; charset=utf-8\r\n" : "Content-Type: text/html; charset=utf-8\r\n");
  head.append(
      "Cache-Control: no-store\r\n"
      "X-Content-Type-Options: nosniff\r\n"
      "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'\r\n");
  if (reply.Status == 405) head.append("Allow: GET\r\n");
  if (reply.Status == 429 || reply.Status == 503) head.append("Retry-After: 1\r\n");
  if (!reply.Location.empty()) head.append("Location: ").append(Trimmed(reply.Location)).append("\r\n");
  // HTTP/1.1 keeps a connection unless told, HTTP/1.0 closes it unless told.
  if (version < 11 && keepAlive) head.append("Connection: keep-alive\r\n");
  if (version >= 11 && !keepAlive) head.append("Connection: close\r\n");
  head.append("Content-Length: ").append(std::to_string(reply.Body.size())).append("\r\n\r\n");
  return head;
}

}  // namespace site
