#include "server/Router.h"

#include "server/HomePages.h"
#include "history/HistoryPage.h"
#include "history/PageHistory.h"
#include "page/JsonPage.h"
#include "page/LookupPage.h"
#include "page/PageRun.h"
#include "server/Redirector.h"
#include "server/SharedRate.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>

namespace site {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kLookupPath = "/whois/index.php";
constexpr std::string_view kHistoryPath = "/whois/history.php";
constexpr std::string_view kDetailsPrefix = "/hosting/desc/";
constexpr std::string_view kDetailsSuffix = ".shtml";

std::string LogText(std::string_view text) {
  // The log is read line by line: nothing from a client may start a new one.
  std::string out;
  for (char c : text.substr(0, 200)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return out;
}

std::string LookupNote(const LookupRequest& request) {
  std::string note = "addr=" + LogText(request.Address.Domain.empty() ? request.Address.Input : request.Address.Domain) + " reports=";
  bool any = false;
  for (std::size_t i = 0; i < kReportCount; ++i) {
    if (!request.Wanted[i]) continue;
    note += any ? "," : "";
    note += ReportKey(static_cast<ReportKind>(i));
    any = true;
  }
  return note + (any ? "" : "-");
}

// The question a page answers: the address as typed, which the page shows,
// the reports ticked, and the form asked for.
std::string PageKey(const LookupRequest& request, bool json) {
  std::string key = request.Address.Input;
  key += '\n';
  for (bool wanted : request.Wanted) key += wanted ? '1' : '0';
  return key + (json ? "j" : "h");
}

// "format=json" among the query's fields: the page as JSON, its errors too.
bool WantsJson(std::string_view query) {
  for (std::size_t at = 0; at <= query.size();) {
    const std::size_t end = std::min(query.find('&', at), query.size());
    if (query.substr(at, end - at) == "format=json") return true;
    at = end + 1;
  }
  return false;
}

// A refusal of a lookup, in the form the lookup was asked in; `code` names it for scripts.
Reply Refusal(bool json, unsigned status, const char* code, std::string reason, std::string note) {
  if (!json) return ErrorReply(status, std::move(reason), std::move(note));
  return Reply{status, JsonError(code, reason), {}, std::move(note), true};
}

// A trace and a scan measure the network as it is now, so a page with either
// is never given again; nor is one whose reports did not all finish, so that
// asking again is a true retry.
bool Reusable(const LookupRequest& request, const std::vector<PageSection>& sections) {
  if (request.Wanted[static_cast<std::size_t>(ReportKind::RouteTrace)] || request.Wanted[static_cast<std::size_t>(ReportKind::PortScan)]) return false;
  return std::all_of(sections.begin(), sections.end(), [](const PageSection& section) { return section.Result.State == Outcome::Done; });
}

// A lookup whose page starts once the client's rate has been checked, which
// with a shared limit is later and on another thread: a cancel that comes
// before the page is passed on the moment it starts.
class PendingLookup final : public LivePages::Page {
public:
  void Cancel(std::string reason) override {
    std::shared_ptr<LivePages::Page> page;
    {
      std::lock_guard lock(FMutex);
      page = FPage.lock();
      if (!FStarted) FReason = std::move(reason);
    }
    if (page) page->Cancel(std::move(reason));
  }

  void Started(const std::shared_ptr<LivePages::Page>& page) {
    std::optional<std::string> reason;
    {
      std::lock_guard lock(FMutex);
      FStarted = true;
      FPage = page;
      reason = std::move(FReason);
    }
    if (reason) page->Cancel(std::move(*reason));
  }

private:
  std::mutex FMutex;
  bool FStarted = false;
  std::weak_ptr<LivePages::Page> FPage;  // the page lives by its own operations
  std::optional<std::string> FReason;
};

// Past the client's rate: the page itself, under the client's share and the
// limit on pages in flight.
void RunLookup(ServerState& server, const std::string& clientKey, const LookupRequest& lookup, bool json, std::string note,
               ReplyDone done, Clock::time_point received, const std::shared_ptr<PendingLookup>& pending) {
  Metrics& counters = server.Shared.Counters;
  std::string key = PageKey(lookup, json);
  if (auto page = server.FinishedPages.Find(key)) {
    counters.Cache(CacheKind::Pages, CacheLevel::Local, true);
    counters.Page(PageOutcome::Ok, Clock::now() - received);
    return done(Reply{200, std::move(*page), {}, std::move(note), json});
  }
  counters.Cache(CacheKind::Pages, CacheLevel::Local, false);
  auto share = std::make_shared<ClientSlot>(server.ClientPages.Take(clientKey));
  if (!*share) {
    counters.Page(PageOutcome::Busy, Clock::now() - received);
    return done(Refusal(json, 503, "client_busy", "С вашего адреса уже выполняется несколько проверок. Дождитесь их окончания и повторите запрос.", std::move(note)));
  }
  // Taken and checked in one step, so that two threads cannot both take the last slot.
  if (++server.InFlight > server.Opts.MaxInFlight) {
    --server.InFlight;
    counters.Page(PageOutcome::Busy, Clock::now() - received);
    return done(Refusal(json, 503, "busy", "Служба сейчас выполняет слишком много проверок. Повторите запрос через несколько секунд.", std::move(note)));
  }
  try {
    // Read while the reports run, so that it is in when they end.
    auto earlier = server.History ? server.History->Read(HistoryName(lookup.Address)) : nullptr;
    pending->Started(RunPage(server.Io, server.Shared, server.Pages, lookup, server.Reports,
                             [lookup, json, key = std::move(key), note, done, share, pending, &server, received, earlier,
                              asked = std::chrono::system_clock::now()](std::vector<PageSection> sections) {
                               // The slots are free before the page is written, the moment its reports have ended.
                               --server.InFlight;
                               *share = ClientSlot{};
                               server.Shared.Counters.Page(PageOutcome::Ok, Clock::now() - received);
                               std::vector<SectionFacts> facts = earlier ? PageFacts(sections) : std::vector<SectionFacts>{};
                               auto write = [lookup, json, key, note, done, &server, asked, sections = std::move(sections)](const PageHistory& history) {
                                 std::string page = json ? JsonPage(lookup.Address, sections, asked, server.Opts.MaxPageBytes, history)
                                                         : LookupPage(lookup.Address, sections, asked, server.Opts.MaxPageBytes, history);
                                 if (Reusable(lookup, sections)) server.FinishedPages.Store(key, page, server.Opts.PageCache);
                                 done(Reply{200, std::move(page), {}, note, json});
                               };
                               if (!earlier) return write({});
                               WithHistory(*server.History, *earlier, HistoryName(lookup.Address), std::move(facts), server.Io.get_executor(),
                                           std::min(received + server.Opts.PageBudget, Clock::now() + server.Opts.HistoryWait), write);
                             }));
  } catch (const std::exception& e) {
    // The page never started (no memory for it): its slot is free again. The
    // library's English words go to the log, not into the page's Russian.
    --server.InFlight;
    counters.Page(PageOutcome::Failed, Clock::now() - received);
    done(Refusal(json, 500, "no_resources", "Проверка не запущена: службе не хватает ресурсов.", note + " error=" + LogText(e.what())));
  }
}

std::shared_ptr<LivePages::Page> Lookup(ServerState& server, const RouteRequest& request, std::string_view query, ReplyDone done) {
  const auto received = Clock::now();
  const bool json = WantsJson(query);
  LookupRequest lookup;
  try {
    lookup = ParseLookupQuery(query, server.Opts.MaxAddrBytes);
  } catch (const BadAddress& e) {
    server.Shared.Counters.Page(PageOutcome::BadRequest, Clock::now() - received);
    done(Refusal(json, 400, "bad_address", e.what(), "lookup " + LogText(query)));
    return nullptr;
  }
  std::string note = LookupNote(lookup);
  auto pending = std::make_shared<PendingLookup>();
  AllowLookup(server, request.ClientKey,
              [&server, clientKey = request.ClientKey, lookup = std::move(lookup), json, note = std::move(note), done = std::move(done),
               received, pending](bool allowed) mutable {
                if (allowed) return RunLookup(server, clientKey, lookup, json, std::move(note), std::move(done), received, pending);
                server.Shared.Counters.Page(PageOutcome::RateLimited, Clock::now() - received);
                done(Refusal(json, 429, "rate_limited", "Слишком много запросов с вашего адреса. Повторите запрос немного позже.", std::move(note)));
              });
  return pending;
}

// A name's kept snapshots, under the lookups' rate: reading them is work for the store.
void NameHistory(ServerState& server, const RouteRequest& request, std::string_view query, ReplyDone done) {
  const auto received = Clock::now();
  Target target;
  try {
    target = ParseLookupQuery(query, server.Opts.MaxAddrBytes).Address;
  } catch (const BadAddress& e) {
    return done(ErrorReply(400, e.what(), "history " + LogText(query)));
  }
  std::string note = "history addr=" + LogText(HistoryName(target));
  AllowLookup(server, request.ClientKey, [&server, target, note = std::move(note), done = std::move(done), received](bool allowed) {
    if (!allowed) return done(ErrorReply(429, "Слишком много запросов с вашего адреса. Повторите запрос немного позже.", note));
    if (!server.History) return done(Reply{200, HistoryPage(target, std::nullopt), {}, note});
    server.History->Read(HistoryName(target), server.Opts.HistoryPerName * kReportCount)
        ->Then(server.Io.get_executor(), std::min(received + server.Opts.PageBudget, Clock::now() + server.Opts.HistoryWait),
               [target, note, done](std::optional<std::vector<Snapshot>> snapshots) {
                 done(Reply{200, HistoryPage(target, snapshots), {}, note});
               });
  });
}

void OtherPage(const RouteRequest& request, std::string_view path, std::string_view query, const std::string& note, const ReplyDone& done) {
  if (request.Method != "GET") return done(ErrorReply(405, "Служба отвечает только на запросы GET.", note));
  if (path == "/") return done(Reply{200, AboutPage(), {}, note});
  if (path == "/click.php") return done(Reply{200, ClickPage(), {}, note});
  if (path == "/go.php") {
    if (auto location = RedirectLocation(query, request.Host)) return done(Reply{302, {}, std::move(*location), note});
    return done(Reply{200, NotRedirectedPage(RedirectTarget(query)), {}, note});
  }
  if (path.starts_with(kDetailsPrefix) && path.ends_with(kDetailsSuffix)) {
    const std::string_view slug = path.substr(kDetailsPrefix.size(), path.size() - kDetailsPrefix.size() - kDetailsSuffix.size());
    if (auto page = ProviderPage(slug)) return done(Reply{200, std::move(*page), {}, note});
  }
  done(ErrorReply(404, "На этом сайте нет такой страницы.", note));
}

}  // namespace

std::shared_ptr<LivePages::Page> Route(ServerState& server, const RouteRequest& request, ReplyDone done) {
  const std::size_t mark = request.Target.find('?');
  const std::string_view path = request.Target.substr(0, mark);
  const std::string_view query = mark == std::string_view::npos ? std::string_view{} : request.Target.substr(mark + 1);
  const std::string note = LogText(request.Target);

  if (path == kLookupPath && request.Method == "GET") return Lookup(server, request, query, std::move(done));
  if (path == kHistoryPath && request.Method == "GET") {
    NameHistory(server, request, query, std::move(done));
    return nullptr;
  }
  OtherPage(request, path, query, note, done);
  return nullptr;
}

}  // namespace site
