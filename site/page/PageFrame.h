#pragma once
// The frame every page of the service shares: Russian, UTF-8, its own plain
// style sheet for the screen and for print, no scripts.

#include "page/Html.h"

#include <string_view>

namespace site {

// `running`: the line at the top of every printed page; the title when empty.
void BeginPage(Html& page, std::string_view title, std::string_view running = {});
void EndPage(Html& page);

// A whole page of a heading and one paragraph: errors and notices.
std::string MessagePage(std::string_view title, std::string_view text);

}  // namespace site
