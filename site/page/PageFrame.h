#pragma once
// The frame every page of the service shares: Russian, UTF-8, its own plain
// style sheet, no scripts.

#include "page/Html.h"

#include <string_view>

namespace site {

void BeginPage(Html& page, std::string_view title);
void EndPage(Html& page);

// A whole page of a heading and one paragraph: errors and notices.
std::string MessagePage(std::string_view title, std::string_view text);

}  // namespace site
