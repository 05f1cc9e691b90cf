#pragma once
// A lookup page's content as JSON, for scripts: the same sections, outcomes,
// summaries, raw texts and changes as the HTML page, within the same size.
// Its shape is docs/lookup.schema.json.

#include "page/LookupPage.h"

#include <string>

namespace site {

// At most about `maxBytes`: each section's raw text has an equal share and
// says when it was cut.
std::string JsonPage(const Target& target, const std::vector<PageSection>& sections, std::chrono::system_clock::time_point asked,
                     std::size_t maxBytes, const PageHistory& history);

// An error as JSON: a stable `code` for scripts and the Russian `message` for people.
std::string JsonError(const char* code, const std::string& message);

}  // namespace site
