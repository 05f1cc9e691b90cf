#include "page/LookupPage.h"

#include "base/TextCoding.h"
#include "page/PageFrame.h"
#include "sources/TargetAddress.h"

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

void Summary(Html& page, const Table& table) {
  if (table.Rows.empty()) return;
  page.Tag("<table>\n");
  if (!table.Head.empty()) {
    page.Tag("<tr>");
    for (const std::string& cell : table.Head) page.Tag("<th>").Text(cell).Tag("</th>");
    page.Tag("</tr>\n");
  }
  for (const auto& row : table.Rows) {
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

void Section(Html& page, const PageSection& section) {
  const ReportResult& result = section.Result;
  page.Tag("<section>\n<h2>").Text(ReportTitle(section.Kind)).Tag("</h2>\n");
  OutcomeLine(page, result);
  if (!result.Note.empty()) page.Tag("<p class=\"note\">").Text(result.Note).Tag("</p>\n");
  Summary(page, result.Summary);
  const bool registry = section.Kind == ReportKind::DomainRecord || section.Kind == ReportKind::NetworkRecord;
  if (!result.Raw.empty()) page.Tag(registry ? "<pre class=\"registry\">" : "<pre>").Text(result.Raw).Tag("</pre>\n");
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
                       std::chrono::system_clock::time_point asked) {
  const std::string ascii = target.Ipv4 ? Ipv4Text(*target.Ipv4) : target.Domain;
  const std::string name = UnicodeName(ascii);
  std::string running = ShownName(ascii) + " · " + AskedAt(asked) + " · ";
  for (std::size_t i = 0; i < sections.size(); ++i) running += (i ? ", " : "") + std::string(ReportTitle(sections[i].Kind));
  if (sections.empty()) running += "проверки не выбраны";
  Html page;
  BeginPage(page, "Tarnwell: " + name, running);
  page.Tag("<h1>").Text(name).Tag("</h1>\n");
  if (ascii != name) page.Tag("<p class=\"ascii\">").Text(ascii).Tag("</p>\n");
  if (sections.empty())
    page.Tag("<p>").Text("Не выбрано ни одной проверки: отметьте в окне программы, что нужно узнать об адресе.").Tag("</p>\n");
  for (const PageSection& section : sections) Section(page, section);
  EndPage(page);
  return page.Take();
}

}  // namespace site
