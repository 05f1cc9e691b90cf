#include "server/Router.h"

#include "server/HomePages.h"
#include "page/LookupPage.h"
#include "page/PageRun.h"
#include "server/Redirector.h"

#include <exception>

namespace site {

namespace {

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

void Lookup(ServerState& server, const RouteRequest& request, std::string_view query, ReplyDone done) {
  LookupRequest lookup;
  try {
    lookup = ParseLookupQuery(query, server.Opts.MaxAddrBytes);
  } catch (const BadAddress& e) {
    return done(ErrorReply(400, e.what(), "lookup " + LogText(query)));
  }
  std::string note = LookupNote(lookup);
  if (!server.Rate.Allow(request.Client))
    return done(ErrorReply(429, "Слишком много запросов с вашего адреса. Повторите запрос немного позже.", std::move(note)));
  // Taken and checked in one step, so that two threads cannot both take the last slot.
  if (++server.InFlight > server.Opts.MaxInFlight) {
    --server.InFlight;
    return done(ErrorReply(503, "Служба сейчас выполняет слишком много проверок. Повторите запрос через несколько секунд.", std::move(note)));
  }
  try {
    RunPage(server.Io, server.Shared, server.Pages, lookup, server.Reports,
            [target = lookup.Address, note, done, &server, asked = std::chrono::system_clock::now()](std::vector<PageSection> sections) {
              --server.InFlight;
              done(Reply{200, LookupPage(target, sections, asked), {}, note});
            });
  } catch (const std::exception& e) {
    // The page never started (no memory for it): its slot is free again. The
    // library's English words go to the log, not into the page's Russian.
    --server.InFlight;
    done(ErrorReply(500, "Проверка не запущена: службе не хватает ресурсов.", note + " error=" + LogText(e.what())));
  }
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
