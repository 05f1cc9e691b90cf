#include "ReplyLines.h"

#include "AsyncSocket.h"


namespace http {

namespace {

// Plain decimal digits, at most `maxDigits` of them, into `value`.
bool ParseDigits(const std::string& s, size_t from, size_t maxDigits, int64_t& value) {
  if (from >= s.size() || s.size() - from > maxDigits) return false;
  value = 0;
  for (size_t i = from; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

int16_t StatusNumber(const std::string& statusLine) {
  const std::string field = NthWord(WithoutTerminator(statusLine), ' ', 2);
  int64_t value = 0;
  if (!ParseDigits(field, 0, 3, value) || field.size() != 3 || value < 100 || value > 599) return 0;
  return static_cast<int16_t>(value);
}

std::string WithoutTerminator(const std::string& line) {
  size_t end = line.size();
  if (end > 0 && line[end - 1] == '\n') {
    --end;
    if (end > 0 && line[end - 1] == '\r') --end;
  }
  return line.substr(0, end);
}

std::string HeaderField(const std::string& line) {
  std::string field = NthWord(line, ' ', 1);
  for (char& c : field) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return field;
}

bool EndsHeader(const std::string& line) { return line == "\n" || line == "\r\n"; }

int64_t ContentLengthValue(const std::string& value) {
  int64_t n = 0;
  return ParseDigits(value, 0, 18, n) ? n : -1;
}

}  // namespace http
