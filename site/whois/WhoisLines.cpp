#include "whois/WhoisLines.h"

#include "whois/WhoisLabels.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <sstream>
#include <utility>

namespace site {

namespace {

constexpr std::size_t kMaxLabel = 80;  // bytes of a label before its colon
constexpr std::size_t kMaxHeadingWords = 6;

struct Line {
  std::size_t Indent = 0;
  std::string Text;    // without the indentation and trailing spaces
  bool Break = false;  // empty, a comment or a rule: ends a paragraph
  bool Marked = false; // starts a paragraph
  bool Open = false;   // ends in a space, as a template's "Key: " with its value left out does
};

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

bool IsBreak(const std::string& text) {
  if (text.empty() || text.starts_with('%') || text.starts_with('#') || text.starts_with(">>>") || text.starts_with(';') ||
      text.starts_with('*') || text.starts_with("--"))
    return true;
  return std::all_of(text.begin(), text.end(), [](char c) { return c == '-' || c == '=' || c == '_' || c == '*' || c == ' '; });
}

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  for (std::string raw; lines.size() < kMaxWhoisLines && std::getline(in, raw);) {
    if (raw.size() > kMaxWhoisLine) raw.resize(kMaxWhoisLine);
    if (raw.ends_with('\r')) raw.pop_back();
    // A full-width colon is a colon; tabs go to the next multiple of eight.
    for (std::size_t at; (at = raw.find("\xEF\xBC\x9A")) != std::string::npos;) raw.replace(at, 3, ": ");
    std::string expanded;
    for (char c : raw) {
      if (c == '\t') expanded.append(8 - expanded.size() % 8, ' ');
      else expanded += c;
    }
    // "** Registrar:": a section marker that starts a paragraph.
    const bool marked = Trim(expanded).starts_with("** ");
    if (marked) expanded = Trim(expanded).substr(3);
    Line line;
    line.Marked = marked;
    line.Indent = std::min(expanded.find_first_not_of(' '), expanded.size());
    line.Open = expanded.ends_with(' ');
    line.Text = Trim(expanded);
    line.Break = IsBreak(line.Text);
    lines.push_back(std::move(line));
  }
  return lines;
}

struct Labelled {
  std::string Label;
  std::string Value;
};

bool Has(std::string_view text, std::string_view chars) { return text.find_first_of(chars) != std::string_view::npos; }

// The label and value of a line, if it has a label.
std::optional<Labelled> Separate(std::string text) {
  // "a. [Domain Name]  EXAMPLE.JP": a list marker before a bracketed label.
  if (text.size() > 3 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == '.' && text[2] == ' ') {
    const auto at = text.find_first_not_of(' ', 2);
    if (at != std::string::npos && text[at] == '[') text.erase(0, at);
  }
  if (text.starts_with('[')) {
    const auto close = text.find(']');
    if (close != std::string::npos && close < kMaxLabel) return Labelled{text.substr(1, close - 1), Trim(text.substr(close + 1))};
  }
  for (auto colon = text.find(':'); colon != std::string::npos && colon < kMaxLabel; colon = text.find(':', colon + 1)) {
    const std::string_view label(text.data(), colon);
    const char next = colon + 1 < text.size() ? text[colon + 1] : ' ';
    // "Key: value" always; "Key:value" only where the colon cannot be a time's, an address's or a link's.
    const bool spaced = next == ' ';
    const bool tight = !Has(label, "0123456789./@") && next != '/' && next != ':';
    if (spaced || tight) return Labelled{std::string(label), Trim(std::string_view(text).substr(colon + 1))};
  }
  // "Key...........value"
  if (const auto dots = text.find("..."); dots != std::string::npos && dots > 1 && dots < kMaxLabel && !Has(text.substr(0, dots), "0123456789")) {
    const auto value = text.find_first_not_of(". ", dots);
    return Labelled{text.substr(0, dots), value == std::string::npos ? std::string{} : Trim(text.substr(value))};
  }
  return std::nullopt;
}

// "Record created on 2001-01-01." as label and value.
std::optional<Labelled> Sentence(const std::string& text) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  const auto on = lower.find(" on ");
  if (on == std::string::npos || std::count(text.begin(), text.begin() + on, ' ') >= 4) return std::nullopt;
  std::string value = Trim(text.substr(on + 4));
  if (value.ends_with('.')) value.pop_back();
  return Labelled{text.substr(0, on), value};
}

std::size_t NextLine(const std::vector<Line>& lines, std::size_t at) {
  while (++at < lines.size() && lines[at].Break) {
  }
  return at;
}

// Whether the next line's label starts with a word of this one, as flat templates
// do ("Registry Registrant ID:" with its value left out, then "Registrant Name: …"):
// then this line is a field without a value, not a heading.
bool SharesTopic(const std::string& label, const std::vector<Line>& lines, std::size_t at) {
  const std::size_t next = NextLine(lines, at);
  if (next >= lines.size()) return false;
  const auto labelled = Separate(lines[next].Text);
  if (!labelled) return false;
  const std::string word = KeyOf(labelled->Label.substr(0, labelled->Label.find(' ')));
  std::istringstream words(label);
  for (std::string own; words >> own;)
    if (!word.empty() && KeyOf(own) == word) return true;
  return false;
}

std::size_t Words(const std::string& text) { return std::count(text.begin(), text.end(), ' ') + 1; }

}  // namespace

std::vector<WhoisEntry> WhoisEntries(const std::string& text) {
  const std::vector<Line> lines = SplitLines(text);
  struct Heading {
    std::string Key;
    std::size_t Indent;
    bool Flat;  // its values follow at its own indentation, up to the paragraph's end
  };
  std::vector<Heading> headings;
  std::vector<WhoisEntry> entries;
  std::size_t paragraph = 0;
  bool paragraphStart = true;
  // The line before, for continuation lines: its key, section and indentation.
  std::optional<WhoisEntry> previous;
  std::size_t previousIndent = 0;

  const auto nextIndent = [&](std::size_t at) -> std::optional<std::size_t> {
    for (std::size_t next = at + 1; next < lines.size(); ++next)
      if (!lines[next].Break) return lines[next].Indent;
    return std::nullopt;
  };
  const auto add = [&](std::string key, std::string section, std::string value, bool first, bool continued, std::size_t indent) {
    WhoisEntry entry{std::move(key), std::move(section), std::move(value), paragraph, first, continued};
    previous = entry;
    previousIndent = indent;
    entries.push_back(std::move(entry));
  };

  for (std::size_t at = 0; at < lines.size(); ++at) {
    const Line& line = lines[at];
    if (line.Break) {
      if (!paragraphStart) ++paragraph;
      paragraphStart = true;
      previous.reset();
      std::erase_if(headings, [](const Heading& h) { return h.Flat; });
      continue;
    }
    while (!headings.empty() && (headings.back().Indent > line.Indent || (headings.back().Indent == line.Indent && !headings.back().Flat)))
      headings.pop_back();
    const std::string section = headings.empty() ? std::string{} : headings.back().Key;
    if (line.Marked && !paragraphStart) {
      ++paragraph;
      std::erase_if(headings, [](const Heading& h) { return h.Flat; });
    }
    const bool first = std::exchange(paragraphStart, false) || line.Marked;
    const auto next = nextIndent(at);

    if (const auto labelled = Separate(line.Text); labelled && !KeyOf(labelled->Label).empty()) {
      const std::string key = KeyOf(labelled->Label);
      if (!labelled->Value.empty()) {
        add(key, section, labelled->Value, first, false, line.Indent);
      } else {
        if (next && *next > line.Indent) headings.push_back({key, line.Indent, false});
        else if ((first && !line.Open && !SharesTopic(labelled->Label, lines, at)) || (next == line.Indent && !Separate(lines[NextLine(lines, at)].Text))) headings.push_back({key, line.Indent, true});
        previous.reset();
      }
      continue;
    }
    if (previous && line.Indent > previousIndent) {
      add(previous->Key, previous->Section, line.Text, false, true, previousIndent);
      continue;
    }
    if (next && *next > line.Indent && Words(line.Text) <= kMaxHeadingWords && !KeyOf(line.Text).empty()) {
      headings.push_back({KeyOf(line.Text), line.Indent, false});
      previous.reset();
      continue;
    }
    if (!headings.empty()) {
      const std::string parent = headings.size() > 1 ? headings[headings.size() - 2].Key : std::string{};
      add(headings.back().Key, parent, line.Text, false, false, headings.back().Indent);
      continue;
    }
    if (const auto sentence = Sentence(line.Text); sentence && !sentence->Value.empty())
      add(KeyOf(sentence->Label), section, sentence->Value, first, false, line.Indent);
  }
  return entries;
}

}  // namespace site
