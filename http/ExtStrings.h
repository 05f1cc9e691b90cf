#pragma once
// TExStringList: a string list with header-style lookup by the name before the
// first ":" of a line. Kept unsorted, so lines stay in insertion order.

#include "Toolkit.h"

#include <string>

class TExStringList : public TStringList {
public:
  // Index of the first line whose name (text before its first ":") equals
  // Name, compared without regard to ASCII case; -1 when none. Lines without
  // ":" never match.
  int IndexOfHeader(const std::string& Name) const;
  // Non-empty Value: replaces that line in place with Name + ": " + Value, or
  // appends it. Empty Value: removes the line, if any.
  void SetHeader(const std::string& Name, const std::string& Value);
};
