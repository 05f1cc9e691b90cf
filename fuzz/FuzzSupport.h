#pragma once
// What every fuzz target shares: the Qt application the components need, the
// rule that a failure is one of the documented exceptions or a crash, and the
// checks of the text that the lookup service makes from outside data.

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
  (void)app;
}

[[noreturn]] inline void Defect(const std::string& what) {
  std::fprintf(stderr, "defect: %s\n", what.c_str());
  std::abort();
}

// Splits fuzz input at each 0xFF byte into at most `n` fields.
inline std::vector<std::string> Fields(const uint8_t* data, size_t size, size_t n) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && out.size() < n) out.emplace_back();
    else out.back() += static_cast<char>(data[i]);
  }
  out.resize(n);
  return out;
}

// Strict UTF-8, written from the encoding's rules rather than taken from the
// code under test: no overlong forms, no surrogates, nothing past U+10FFFF.
inline bool IsUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    char32_t code;
    if (c < 0x80) n = 0, code = c;
    else if (c >= 0xC2 && c <= 0xDF) n = 1, code = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) n = 2, code = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) n = 3, code = c & 0x07;
    else return false;
    if (i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      const unsigned char next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    if ((n == 2 && code < 0x800) || (n == 3 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

// Whether every byte of `s` is one of `allowed`.
inline bool OnlyOf(const std::string& s, const std::string& allowed) {
  return s.find_first_not_of(allowed) == std::string::npos;
}
