#include "history/PageChanges.h"

#include "page/LookupPage.h"
#include "sources/TargetAddress.h"

#include <algorithm>
#include <ctime>

namespace site {

namespace {

using std::chrono::system_clock;

constexpr auto kRecentChange = std::chrono::days(7);
constexpr auto kSoonExpiring = std::chrono::days(30);
constexpr auto kSeenEvery = std::chrono::minutes(1);

// A change of who holds the name or where it points is how a name is taken over.
bool Alarming(const std::string& line) { return line.starts_with("Регистратор:") || line.starts_with("Серверы имён:"); }

std::optional<system_clock::time_point> IsoDay(const std::string& day) {
  std::tm parts{};
  if (day.size() != 10 || !strptime(day.c_str(), "%Y-%m-%d", &parts)) return std::nullopt;
  return system_clock::from_time_t(timegm(&parts));
}

void ExpiryWarning(const SectionFacts& facts, system_clock::time_point now, std::vector<ChangeLine>& lines) {
  for (const Fact& fact : facts.Facts) {
    if (fact.Label != "Оплачен до" || fact.Values.empty()) continue;
    const auto expires = IsoDay(fact.Values.front());
    if (!expires || *expires - now > kSoonExpiring) return;
    lines.push_back({"Оплачен до " + fact.Values.front() +
                         (*expires < now ? ": срок регистрации истёк" : ": срок регистрации истекает меньше чем через 30 дней"),
                     true});
  }
}

}  // namespace

std::string HistoryName(const Target& target) {
  const std::string text = TargetText(target);
  return text.empty() ? target.Input : text;
}

std::vector<SectionFacts> PageFacts(const std::vector<PageSection>& sections) {
  std::vector<SectionFacts> facts;
  for (const PageSection& section : sections)
    if (auto found = FactsOf(section.Kind, section.Result)) facts.push_back(std::move(*found));
  return facts;
}

PageHistory ChangesOf(const std::string& name, const std::vector<SectionFacts>& facts, const std::vector<Snapshot>& stored,
                      system_clock::time_point now) {
  PageHistory history;
  history.Name = name;
  for (const SectionFacts& section : facts) {
    const auto before = std::find_if(stored.begin(), stored.end(), [&](const Snapshot& s) { return s.Kind == section.Kind; });
    if (before == stored.end()) continue;
    SectionChanges changes;
    const Comparison comparison = Compare(before->State, section);
    changes.Unchanged = comparison.Lines.empty();
    changes.Since = FromMs(changes.Unchanged ? before->Taken : before->Seen);
    for (const std::string& line : comparison.Lines) changes.Lines.push_back({line, Alarming(line)});
    // What changed at the last snapshot still warns for a week after.
    if (now - FromMs(before->Taken) <= kRecentChange)
      for (const std::string& line : before->Changes)
        if (Alarming(line)) changes.Lines.push_back({"Изменено " + UtcMinute(FromMs(before->Taken)) + ": " + line, true});
    ExpiryWarning(section, now, changes.Lines);
    history.Sections[static_cast<std::size_t>(section.Kind)] = std::move(changes);
  }
  return history;
}

bool RecordDue(const std::vector<SectionFacts>& facts, const std::vector<Snapshot>& stored, system_clock::time_point now) {
  return std::any_of(facts.begin(), facts.end(), [&](const SectionFacts& section) {
    const auto before = std::find_if(stored.begin(), stored.end(), [&](const Snapshot& s) { return s.Kind == section.Kind; });
    return before == stored.end() || now - FromMs(before->Seen) >= kSeenEvery || Compare(before->State, section).Store;
  });
}

std::string ChangesHeading(const SectionChanges& changes) {
  return (changes.Unchanged ? "Без изменений с " : "Изменения с ") + UtcMinute(changes.Since);
}

std::string UtcMinute(system_clock::time_point when) {
  const std::time_t seconds = system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%d.%m.%Y %H:%M UTC", &utc);
  return text;
}

system_clock::time_point FromMs(std::int64_t ms) { return system_clock::time_point(std::chrono::milliseconds(ms)); }

}  // namespace site
