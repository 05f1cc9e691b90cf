#include "whois/WhoisLines.h"

#include "whois/WhoisLabels.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>
#include <sstream>
#include <utility>

namespace site {

namespace {

constexpr std::size_t kMaxLabel = 80;  // bytes of a label before its colon
constexpr std::size_t kMaxHeadingWords = 6;
constexpr std::size_t kMaxCarriedWords = 3;  // a host with its IPv4 and IPv6 addresses, not a notice's sentence

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
    const auto value = text.find_first_not_of(". :", dots);
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

// The keys a label stands for: each language of a bilingual label ("Data de
// registo / Creation Date"), without a note on the value's form ("(dd/mm/yyyy)").
std::vector<std::string> LabelKeys(const std::string& label) {
  std::vector<std::string> keys;
  for (std::size_t from = 0; from <= label.size();) {
    const auto slash = label.find(" / ", from);
    std::string part = label.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
    if (const auto open = part.find(" ("); open != std::string::npos && part.find(')', open) != std::string::npos)
      part.erase(open, part.find(')', open) - open + 1);
    if (std::string key = KeyOf(part); !key.empty()) keys.push_back(std::move(key));
    from = slash == std::string::npos ? label.size() + 1 : slash + 3;
  }
  return keys;
}

std::size_t Tokens(const std::string& text) {
  std::istringstream words(text);
  return std::distance(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
}


}  // namespace

std::vector<WhoisEntry> WhoisEntries(const std::string& text) {
  const std::vector<Line> lines = SplitLines(text);
  struct Heading {
    std::string Key;
    std::size_t Indent;
    bool Flat;  // its values follow at its own indentation, up to the paragraph's end
    bool Opens = false;  // the first line of its paragraph
    bool Bare = false;   // a line without a label ("Example Inc" above its indented address): ends with its paragraph
    bool Fresh = true;   // nothing read under it yet
  };
  std::vector<Heading> headings;
  // A flat heading alone in its paragraph ("Name servers:", a blank line, then
  // the servers): its values are the unlabelled lines that open the next one.
  std::optional<Heading> carried;
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
    if (!headings.empty()) headings.back().Fresh = false;
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
      if (!headings.empty() && headings.back().Flat && headings.back().Opens && headings.back().Fresh) carried = headings.back();
      std::erase_if(headings, [](const Heading& h) { return h.Flat || h.Bare; });
      continue;
    }
    if (carried && carried->Indent == line.Indent && !Separate(line.Text) && Tokens(line.Text) <= kMaxCarriedWords) headings.push_back(*carried);
    carried.reset();
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
        for (std::string& part : LabelKeys(labelled->Label)) add(std::move(part), section, labelled->Value, first, false, line.Indent);
      } else {
        if (next && *next > line.Indent) {
          headings.push_back({key, line.Indent, false});
        } else if ((first && !line.Open && !SharesTopic(labelled->Label, lines, at)) || (next == line.Indent && !Separate(lines[NextLine(lines, at)].Text))) {
          // Without blank lines between them, a flat heading ends the one before it at its indentation.
          while (!headings.empty() && headings.back().Flat && headings.back().Indent == line.Indent) headings.pop_back();
          headings.push_back({key, line.Indent, true, first});
        }
        previous.reset();
      }
      continue;
    }
    if (previous && line.Indent > previousIndent) {
      add(previous->Key, previous->Section, line.Text, false, true, previousIndent);
      continue;
    }
    if (next && *next > line.Indent && Tokens(line.Text) <= kMaxHeadingWords && !KeyOf(line.Text).empty()) {
      headings.push_back({KeyOf(line.Text), line.Indent, false, first, true, true});
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
