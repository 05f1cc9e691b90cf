#pragma once
// The one way outside data reaches a page: markup is written by the code,
// everything else goes through Text(), which escapes it.

#include <string>
#include <string_view>

namespace site {

class Html {
public:
  // Markup written by this program, never data from outside.
  Html& Tag(std::string_view markup);
  // Any text: escaped, and bytes that are not UTF-8 or are control characters
  // (C0, DEL and C1; but tab and line feed) become U+FFFD, so a page is always
  // valid text.
  // Quotes are escaped too, so Text() also fills double-quoted attributes.
  Html& Text(std::string_view text);

  const std::string& Result() const { return FOut; }
  std::string Take() { return std::move(FOut); }

private:
  std::string FOut;
};

}  // namespace site
