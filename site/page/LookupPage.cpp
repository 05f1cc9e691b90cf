#include "page/LookupPage.h"

#include "base/TextCoding.h"
#include "page/PageFrame.h"
#include "sources/TargetAddress.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace site {

namespace {

// When the lookup was asked for, in UTC: the service and its readers may be in different time zones.
std::string AskedAt(std::chrono::system_clock::time_point asked) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(asked);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%d.%m.%Y %H:%M UTC", &utc);
  return text;
}

// Escaping makes at most six bytes of one ("&quot;"), so text within a sixth
// of a share always fits the share.
constexpr std::size_t kEscapeGrowth = 6;
// The page's own markup around the sections: head, style, heading.
constexpr std::size_t kFrameBytes = 16 << 10;
// Markup per table cell, and per section around its texts.
constexpr std::size_t kCellMarkup = 16;
constexpr std::size_t kSectionMarkup = 512;

// What is left of a section's share, counted in bytes of text before escaping.
class SectionBudget {
public:
  explicit SectionBudget(std::size_t pageBytes) : FLeft(pageBytes / kEscapeGrowth) {}

  // Spends `bytes` when they fit; false, and the section is cut, when not.
  bool Spend(std::size_t bytes) {
    if (bytes > FLeft) {
      FCut = true;
      return false;
    }
    FLeft -= bytes;
    return true;
  }

  // The longest beginning of `text` that fits, ending at a line's end when it
  // can and never inside a character; the rest of the share goes.
  std::string_view Take(std::string_view text) {
    if (Spend(text.size())) return text;
    std::size_t end = FLeft;
    FLeft = 0;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    const std::size_t line = end == 0 ? std::string_view::npos : text.rfind('\n', end - 1);
    return text.substr(0, line != std::string_view::npos && line > end / 2 ? line + 1 : end);
  }

  bool Cut() const { return FCut; }

private:
  std::size_t FLeft;
  bool FCut = false;
};

void OutcomeLine(Html& page, const ReportResult& result) {
  const std::string time = "время: " + std::to_string(result.Elapsed.count()) + " мс";
  switch (result.State) {
    case Outcome::Done:
      page.Tag("<p class=\"outcome done\">").Text("выполнено, " + time).Tag("</p>\n");
      if (!result.Reason.empty()) page.Tag("<p>").Text(result.Reason).Tag("</p>\n");
      return;
    case Outcome::Failed:
      page.Tag("<p class=\"outcome failed\">").Text("ошибка: " + result.Reason + "; " + time).Tag("</p>\n");
      return;
    case Outcome::TimedOut:
      page.Tag("<p class=\"outcome timedout\">").Text("превышено время ожидания, " + time).Tag("</p>\n");
      if (!result.Reason.empty()) page.Tag("<p>").Text(result.Reason).Tag("</p>\n");
      return;
  }
}

void Summary(Html& page, const Table& table, SectionBudget& budget) {
  if (table.Rows.empty()) return;
  page.Tag("<table>\n");
  if (!table.Head.empty()) {
    page.Tag("<tr>");
    for (const std::string& cell : table.Head) page.Tag("<th>").Text(cell).Tag("</th>");
    page.Tag("</tr>\n");
  }
  for (const auto& row : table.Rows) {
    std::size_t bytes = kCellMarkup;
    for (const std::string& cell : row) bytes += cell.size() + kCellMarkup;
    if (!budget.Spend(bytes)) break;
    page.Tag("<tr>");
    for (std::size_t i = 0; i < row.size(); ++i) {
      // A table without a heading row is label/value: the label is its row's heading.
      const bool label = table.Head.empty() && i == 0;
      page.Tag(label ? "<th>" : "<td>").Text(row[i]).Tag(label ? "</th>" : "</td>");
    }
    page.Tag("</tr>\n");
  }
  page.Tag("</table>\n");
}

// The name in a link's query: everything but letters, digits, '-' and '.' as %XX.
std::string QueryValue(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.') out += c;
    else out.append({'%', kHex[byte >> 4], kHex[byte & 15]});
  }
  return out;
}

void Changes(Html& page, const SectionChanges& changes, const std::string& name, SectionBudget& budget) {
  page.Tag("<div class=\"changes\">\n<p class=\"changes-head\">").Text(ChangesHeading(changes))
      .Tag(" · <a href=\"/whois/history.php?addr=").Text(QueryValue(name)).Tag("\">").Text("вся история").Tag("</a></p>\n");
  if (!changes.Lines.empty()) {
    page.Tag("<ul>\n");
    for (const ChangeLine& line : changes.Lines) {
      if (!budget.Spend(line.Text.size() + kCellMarkup)) break;
      page.Tag(line.Warning ? "<li class=\"warning\">" : "<li>").Text(line.Text).Tag("</li>\n");
    }
    page.Tag("</ul>\n");
  }
  page.Tag("</div>\n");
}

void Section(Html& page, const PageSection& section, std::size_t share, const PageHistory& history) {
  const ReportResult& result = section.Result;
  SectionBudget budget(share - kSectionMarkup);
  // The short texts first, so that a long raw answer cannot crowd out why a report failed.
  ReportResult outcome;
  outcome.State = result.State;
  outcome.Elapsed = result.Elapsed;
  outcome.Reason = budget.Take(result.Reason);
  const std::string_view note = budget.Take(result.Note);
  page.Tag("<section>\n<h2>").Text(ReportTitle(section.Kind)).Tag("</h2>\n");
  OutcomeLine(page, outcome);
  if (!note.empty()) page.Tag("<p class=\"note\">").Text(note).Tag("</p>\n");
  Summary(page, result.Summary, budget);
  const std::string_view raw = budget.Take(result.Raw);
  if (!raw.empty()) page.Tag("<pre>").Text(raw).Tag("</pre>\n");
  if (budget.Cut())
    page.Tag("<p class=\"cut\">").Text("Раздел сокращён: ответ слишком велик для страницы, показано только его начало.").Tag("</p>\n");
  if (const auto& changes = history.Sections[static_cast<std::size_t>(section.Kind)]) Changes(page, *changes, history.Name, budget);
  page.Tag("</section>\n");
}

}  // namespace

const char* ReportTitle(ReportKind kind) {
  switch (kind) {
    case ReportKind::DomainRecord: return "Информация о домене";
    case ReportKind::DnsRecords: return "DNS записи";
    case ReportKind::RouteTrace: return "Трассировка";
    case ReportKind::NetworkRecord: return "Информация о сети";
    case ReportKind::PortScan: return "Сканирование портов";
  }
  return "";
}

std::string LookupPage(const Target& target, const std::vector<PageSection>& sections,
                       std::chrono::system_clock::time_point asked, std::size_t maxBytes, const PageHistory& history) {
  const std::string ascii = TargetText(target);
  const std::string name = UnicodeName(ascii);
  std::string running = ShownName(ascii) + " · " + AskedAt(asked) + " · ";
  for (std::size_t i = 0; i < sections.size(); ++i) running += (i ? ", " : "") + std::string(ReportTitle(sections[i].Kind));
  if (sections.empty()) running += "проверки не выбраны";
  Html page;
  BeginPage(page, "Tarnwell: " + name, running);
  page.Tag("<h1>").Text(name).Tag("</h1>\n");
  if (ascii != name) page.Tag("<p class=\"ascii\">").Text(ascii).Tag("</p>\n");
  if (history.Unavailable) page.Tag("<p class=\"history-off\">").Text("История изменений сейчас недоступна.").Tag("</p>\n");
  if (sections.empty())
    page.Tag("<p>").Text("Не выбрано ни одной проверки: отметьте в окне программы, что нужно узнать об адресе.").Tag("</p>\n");
  const std::size_t share = (maxBytes - kFrameBytes) / std::max<std::size_t>(sections.size(), 1);
  for (const PageSection& section : sections) Section(page, section, share, history);
  EndPage(page);
  return page.Take();
}

}  // namespace site
