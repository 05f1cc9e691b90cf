#include "server/Router.h"

#include "server/HomePages.h"
#include "page/LookupPage.h"
#include "page/PageRun.h"
#include "server/Redirector.h"
#include "server/SharedRate.h"

#include <exception>

namespace site {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kLookupPath = "/whois/index.php";
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

// Past the client's rate: the page itself, under the limit on pages in flight.
void RunLookup(ServerState& server, const LookupRequest& lookup, std::string note, ReplyDone done, Clock::time_point received) {
  Metrics& counters = server.Shared.Counters;
  // Taken and checked in one step, so that two threads cannot both take the last slot.
  if (++server.InFlight > server.Opts.MaxInFlight) {
    --server.InFlight;
    counters.Page(PageOutcome::Busy, Clock::now() - received);
    return done(ErrorReply(503, "Служба сейчас выполняет слишком много проверок. Повторите запрос через несколько секунд.", std::move(note)));
  }
  try {
    RunPage(server.Io, server.Shared, server.Pages, lookup, server.Reports,
            [target = lookup.Address, note, done, &server, received](std::vector<PageSection> sections) {
              --server.InFlight;
              server.Shared.Counters.Page(PageOutcome::Ok, Clock::now() - received);
              done(Reply{200, LookupPage(target, sections), {}, note});
            });
  } catch (const std::exception& e) {
    // The page never started (its resolver could not be made): its slot is free again.
    --server.InFlight;
    counters.Page(PageOutcome::Failed, Clock::now() - received);
    done(ErrorReply(500, std::string("Проверка не запущена: ") + e.what(), std::move(note)));
  }
}

void Lookup(ServerState& server, const RouteRequest& request, std::string_view query, ReplyDone done) {
  const auto received = Clock::now();
  LookupRequest lookup;
  try {
    lookup = ParseLookupQuery(query, server.Opts.MaxAddrBytes);
  } catch (const BadAddress& e) {
    server.Shared.Counters.Page(PageOutcome::BadRequest, Clock::now() - received);
    return done(ErrorReply(400, e.what(), "lookup " + LogText(query)));
  }
  std::string note = LookupNote(lookup);
  AllowLookup(server, std::string(request.Client),
              [&server, lookup = std::move(lookup), note = std::move(note), done = std::move(done), received](bool allowed) mutable {
                if (allowed) return RunLookup(server, lookup, std::move(note), std::move(done), received);
                server.Shared.Counters.Page(PageOutcome::RateLimited, Clock::now() - received);
                done(ErrorReply(429, "Слишком много запросов с вашего адреса. Повторите запрос немного позже.", std::move(note)));
              });
}

}  // namespace

void Route(ServerState& server, const RouteRequest& request, ReplyDone done) {
  const std::size_t mark = request.Target.find('?');
  const std::string_view path = request.Target.substr(0, mark);
  const std::string_view query = mark == std::string_view::npos ? std::string_view{} : request.Target.substr(mark + 1);
  const std::string note = LogText(request.Target);

  if (request.Method != "GET") return done(ErrorReply(405, "Служба отвечает только на запросы GET.", note));
  if (path == kLookupPath) return Lookup(server, request, query, std::move(done));
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

}  // namespace site
