// NthWord and NthWordPos against a plain model of the same rules.
#include "AsyncSocket.h"
#include "FuzzSupport.h"

#include <vector>

namespace {

std::string ModelWord(const std::string& s, char sep, int n) {
  std::vector<std::string> fields(1);
  for (char c : s) {
    if (c == sep) fields.emplace_back();
    else fields.back() += c;
  }
  return n >= 1 && static_cast<size_t>(n) <= fields.size() ? fields[static_cast<size_t>(n) - 1] : std::string();
}

int ModelPos(const std::string& s, char ch, int n) {
  const int end = static_cast<int>(s.size()) + 1;
  int seen = 0;
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] == ch && ++seen == n) return static_cast<int>(i) + 1 == end - 1 ? end : static_cast<int>(i) + 1;
  return end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char sep = static_cast<char>(data[0]);
  const int n = static_cast<int8_t>(data[1]);
  const std::string s(reinterpret_cast<const char*>(data + 2), size - 2);
  if (NthWord(s, sep, n) != ModelWord(s, sep, n)) Defect("NthWord");
  if (NthWordPos(s, sep, n) != ModelPos(s, sep, n)) Defect("NthWordPos");
  return 0;
}
