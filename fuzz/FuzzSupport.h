#pragma once
// What every fuzz target shares: the Qt application the components need, and
// the rule that a failure is one of the documented exceptions or a crash.

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
