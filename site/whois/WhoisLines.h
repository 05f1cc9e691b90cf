#pragma once
// Walking a WHOIS answer's lines into labelled values, whatever the layout:
// "Key: value", "Key.......: value", "[Key]  value", "a. [Key]  value", a
// heading with its values on the indented lines below it (or, at the start of
// a paragraph, on the lines that follow it, or alone in its paragraph, on the
// unlabelled lines that open the next), continuation lines, and sentence
// lines ("Record created on 2001-01-01."). The walker knows no field names.

#include <cstddef>
#include <string>
#include <vector>

namespace site {

struct WhoisEntry {
  std::string Key;      // KeyOf the label; for a value below a heading, the heading's key
  std::string Section;  // KeyOf the heading the entry sits under; empty at the top level
  std::string Value;    // trimmed, as found; never empty
  std::size_t Paragraph = 0;     // blank and comment lines separate paragraphs
  bool FirstInParagraph = false;
  bool Continued = false;        // a continuation line of the entry before it
};

// At most kMaxWhoisLines lines are read, each up to kMaxWhoisLine bytes.
inline constexpr std::size_t kMaxWhoisLines = 4000;
inline constexpr std::size_t kMaxWhoisLine = 1000;

std::vector<WhoisEntry> WhoisEntries(const std::string& text);

}  // namespace site
