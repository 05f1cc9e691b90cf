#include "history/HistoryPage.h"

#include "base/TextCoding.h"
#include "history/PageChanges.h"
#include "page/LookupPage.h"
#include "page/PageFrame.h"

namespace site {

namespace {

// A name's first snapshot has nothing to compare with: its facts are shown.
std::string FactText(const Fact& fact) {
  std::string text = fact.Label + ": ";
  if (fact.Values.empty()) return text + "—";
  for (std::size_t i = 0; i < fact.Values.size(); ++i) text += (i ? ", " : "") + fact.Values[i];
  return text;
}

}  // namespace

std::string HistoryPage(const Target& target, const std::optional<std::vector<Snapshot>>& snapshots) {
  const std::string name = UnicodeName(HistoryName(target));
  Html page;
  BeginPage(page, "Tarnwell: история " + name);
  page.Tag("<h1>").Text("История: " + name).Tag("</h1>\n");
  if (!snapshots) {
    page.Tag("<p class=\"history-off\">").Text("История изменений сейчас недоступна.").Tag("</p>\n");
  } else if (snapshots->empty()) {
    page.Tag("<p>").Text("Об этом адресе ещё ничего не сохранено.").Tag("</p>\n");
  }
  for (const Snapshot& snapshot : snapshots.value_or(std::vector<Snapshot>{})) {
    page.Tag("<section class=\"snapshot\">\n<h2>").Text(UtcMinute(FromMs(snapshot.Taken)) + " · " + ReportTitle(snapshot.Kind)).Tag("</h2>\n");
    page.Tag("<p class=\"seen\">").Text("Последний раз так же: " + UtcMinute(FromMs(snapshot.Seen))).Tag("</p>\n<ul>\n");
    if (snapshot.Changes.empty())
      for (const Fact& fact : snapshot.State.Facts.Facts) page.Tag("<li>").Text(FactText(fact)).Tag("</li>\n");
    for (const std::string& line : snapshot.Changes) page.Tag("<li>").Text(line).Tag("</li>\n");
    page.Tag("</ul>\n</section>\n");
  }
  EndPage(page);
  return page.Take();
}

}  // namespace site
