#include "ExtStrings.h"

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Header names are ASCII; comparing byte by byte keeps a NUL inside a name
// from ending the comparison early.
bool SameNameAt(const std::string& line, size_t length, const std::string& name) {
  if (length != name.size()) return false;
  for (size_t i = 0; i < length; ++i) {
    if (LowerAscii(line[i]) != LowerAscii(name[i])) return false;
  }
  return true;
}

}  // namespace

int TExStringList::IndexOfHeader(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = (*this)[i];
    const size_t colon = line.find(':');
    if (colon != std::string::npos && SameNameAt(line, colon, Name)) return i;
  }
  return -1;
}

void TExStringList::SetHeader(const std::string& Name, const std::string& Value) {
  int i = IndexOfHeader(Name);
  if (!Value.empty()) {
    if (i == -1) {
      Add(std::string());
      i = Count() - 1;
    }
    (*this)[i] = Name + ": " + Value;
  } else if (i != -1) {
    Items.erase(Items.begin() + i);
  }
}
