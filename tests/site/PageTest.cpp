// Pages: outside data comes out escaped wherever it is put, sections keep the
// window's order, each shows its outcome, and no answer makes a page longer
// than its bound.
#include "page/Html.h"
#include "page/LookupPage.h"
#include "base/Options.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace site;

namespace {

const std::string kHostile = "<script>alert('x')</script>\"&amp;";
const std::string kEscaped = "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&quot;&amp;amp;";
const std::size_t kPageBytes = Options{}.MaxPageBytes;
const std::string kCutNote = "Раздел сокращён";

using namespace std::chrono_literals;

// 07.12.2026 19:40 UTC.
const auto kAsked = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + 19h + 40min + 5s;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(SiteHtml, EscapesMarkupAndReplacesWhatIsNotText) {
  const std::pair<std::string, std::string> rows[] = {
      {kHostile, kEscaped},
      {"пример.рф\ttab\nline", "пример.рф\ttab\nline"},
      {std::string("nul\0byte", 8), "nul\xEF\xBF\xBD" "byte"},
      {"cr\r esc\x1B del\x7F", "cr\xEF\xBF\xBD esc\xEF\xBF\xBD del\xEF\xBF\xBD"},
      // C1 controls are controls too; the no-break space right after them is text.
      {"nel\xC2\x85 csi\xC2\x9B apc\xC2\x9F nbsp\xC2\xA0", "nel\xEF\xBF\xBD csi\xEF\xBF\xBD apc\xEF\xBF\xBD nbsp\xC2\xA0"},
      {"bad \xFF\xFE utf8 \xD0", "bad \xEF\xBF\xBD\xEF\xBF\xBD utf8 \xEF\xBF\xBD"},
      {"overlong \xC0\xBC", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Html().Text(text).Result(), expected);
  }
}

TEST(SiteLookupPage, EveryFieldOfEveryReportIsEscaped) {
  Target target{kHostile, "xn--e1afmkfd.xn--p1ai", {}, {}, {}};
  ReportResult result;
  result.Reason = kHostile;
  result.Note = kHostile;
  result.Summary = Table{{kHostile, "b"}, {{kHostile, kHostile}}};
  result.Raw = kHostile;
  std::vector<PageSection> sections;
  for (ReportKind kind : {ReportKind::DomainRecord, ReportKind::DnsRecords, ReportKind::RouteTrace}) sections.push_back({kind, result});
  sections[1].Result.State = Outcome::Failed;
  sections[2].Result.State = Outcome::TimedOut;
  sections[2].Result.Summary.Head.clear();

  const std::string page = LookupPage(target, sections, kAsked, kPageBytes);
  EXPECT_EQ(Count(page, "<script"), 0u);
  EXPECT_EQ(Count(page, "alert('x')"), 0u);
  // Per section reason, note, raw and the table: a heading cell and two
  // cells, or (the third) a label and a value. The name comes from the checked
  // ASCII form, never from what was typed.
  EXPECT_EQ(Count(page, kEscaped), 6u + 6u + 5u);
  EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(page.find("<title>Tarnwell: пример.рф</title>"), std::string::npos);
  EXPECT_NE(page.find("<h1>пример.рф</h1>\n<p class=\"ascii\">xn--e1afmkfd.xn--p1ai</p>"), std::string::npos);
  EXPECT_NE(page.find("выполнено"), std::string::npos);
  EXPECT_NE(page.find("ошибка: " + kEscaped), std::string::npos);
  EXPECT_NE(page.find("превышено время ожидания"), std::string::npos);
  EXPECT_EQ(page.find(kCutNote), std::string::npos);
}

// Answers made to grow most when escaped (quotes) or to be many rows, in
// every section at once: the page keeps its bound, each section shows its
// beginning and says it was cut, and the cut never splits a character.
TEST(SiteLookupPage, HugeAnswersAreCutToTheirSectionsShare) {
  ReportResult quotes;
  quotes.Raw = std::string(3 << 20, '"');
  ReportResult rows;
  for (int i = 0; i < 200000; ++i) rows.Summary.Rows.push_back({"строка", std::to_string(i) + "<>"});
  ReportResult letters;
  letters.Reason = std::string(1 << 20, 'r');
  letters.Raw.reserve(2 << 20);
  while (letters.Raw.size() < (2 << 20)) letters.Raw += "ж";
  ReportResult small;
  small.Raw = "короткий ответ";
  const std::vector<PageSection> sections{{ReportKind::DomainRecord, quotes},
                                          {ReportKind::DnsRecords, rows},
                                          {ReportKind::RouteTrace, letters},
                                          {ReportKind::NetworkRecord, small}};
  for (std::size_t bound : {kPageBytes, std::size_t{65536}}) {
    SCOPED_TRACE(bound);
    const std::string page = LookupPage(Target{"example.test", "example.test", {}, {}, {}}, sections, kAsked, bound);
    EXPECT_LE(page.size(), bound);
    EXPECT_EQ(Count(page, kCutNote), 3u);
    EXPECT_NE(page.find("&quot;&quot;"), std::string::npos);
    EXPECT_NE(page.find("<th>строка</th><td>0&lt;&gt;</td>"), std::string::npos);
    EXPECT_EQ(page.find("<td>199999"), std::string::npos);
    EXPECT_NE(page.find("короткий ответ"), std::string::npos);
    EXPECT_EQ(page.find("\xEF\xBF\xBD"), std::string::npos) << "a character was split";
    EXPECT_LT(page.rfind("</html>"), page.size()) << "the page ends whole";
  }
}

TEST(SiteLookupPage, SectionsInTheWindowsOrderWithTheirTimes) {
  std::vector<PageSection> sections;
  for (int i = 0; i < 5; ++i) {
    ReportResult result;
    result.Elapsed = std::chrono::milliseconds(100 + i);
    sections.push_back({static_cast<ReportKind>(i), result});
  }
  const std::string page = LookupPage(Target{"192.0.2.1", "", 0xC0000201, {}, {}}, sections, kAsked, kPageBytes);
  std::size_t at = 0;
  for (const char* title : {"Информация о домене", "DNS записи", "Трассировка", "Информация о сети", "Сканирование портов"}) {
    const std::size_t found = page.find(std::string("<h2>") + title + "</h2>", at);
    ASSERT_NE(found, std::string::npos) << title;
    at = found;
  }
  EXPECT_NE(page.find("время: 104 мс"), std::string::npos);
  // An address typed as its own ASCII form is not shown twice.
  EXPECT_EQ(page.find("class=\"ascii\""), std::string::npos);
  // Every printed page starts with the address, when it was asked and what was ticked.
  EXPECT_NE(page.find("<thead><tr><td>192.0.2.1 · 07.12.2026 19:40 UTC · Информация о домене, DNS записи, "
                      "Трассировка, Информация о сети, Сканирование портов</td></tr></thead>"),
            std::string::npos);
}

TEST(SiteLookupPage, NoReportTickedSaysSo) {
  const std::string page = LookupPage(Target{"Example.TEST", "example.test", {}, {}, {}}, {}, kAsked, kPageBytes);
  EXPECT_NE(page.find("<h1>example.test</h1>\n<p>Не выбрано ни одной проверки"), std::string::npos);
  EXPECT_NE(page.find("<td>example.test · 07.12.2026 19:40 UTC · проверки не выбраны</td>"), std::string::npos);
  EXPECT_EQ(page.find("<section>"), std::string::npos);
}

}  // namespace
