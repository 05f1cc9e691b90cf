#include "sources/Whois.h"

#include "sources/SourcePolicy.h"
#include "sources/redis/SharedCache.h"
#include "whois/WhoisFields.h"
#include "sources/WhoisQuery.h"

namespace site {

namespace {

constexpr std::chrono::hours kAnswerTtl{1};

// Each hop names the key under which its answer points to the next server.
constexpr const char* kReferralKeys[] = {"refer", "Registrar WHOIS Server"};

class WhoisChain : public std::enable_shared_from_this<WhoisChain> {
public:
  WhoisChain(std::shared_ptr<ReportContext> context, std::string query, WhoisChainDone done)
      : FContext(std::move(context)), FQuery(std::move(query)), FDone(std::move(done)) {}

  void Start() {
    const auto root = ParseWhoisServer(FContext->Shared.Opts.WhoisRoot);
    if (!root) return Finish("Неверно задан корневой сервер WHOIS", false);
    Ask(*root);
  }

private:
  void Ask(const WhoisServer& server) {
    const std::string key = "whois:" + server.Name() + ":" + FQuery;
    FindRecord(FContext->Shared, FContext->Executor, key, [self = shared_from_this(), server, key](std::optional<std::string> cached) {
      if (cached) return self->Answered(server, *cached);
      self->Query(server, key);
    });
  }

  void Query(const WhoisServer& server, const std::string& key) {
    const auto& options = FContext->Shared.Opts;
    const auto deadline = std::min(FContext->Deadline, std::chrono::steady_clock::now() + options.WhoisTimeout);
    WhoisQuery(FContext, server, FQuery, deadline, PrivateSourcesAllowed(options),
               [self = shared_from_this(), server, key](WhoisReply reply) {
                 if (!reply.Failure.empty()) return self->Finish(reply.Failure, reply.TimedOut);
                 StoreRecord(self->FContext->Shared, key, reply.Text, kAnswerTtl);
                 self->Answered(server, reply.Text);
               });
  }

  void Answered(const WhoisServer& server, const std::string& text) {
    FResult.Hops.push_back({server.Name(), text});
    const std::size_t hop = FResult.Hops.size() - 1;
    if (hop >= std::size(kReferralKeys)) return Finish({}, false);
    const auto referral = WhoisValue(text, kReferralKeys[hop]);
    if (!referral) return Finish({}, false);
    const auto next = ParseWhoisServer(*referral);
    if (!next) return Finish("Сервер WHOIS " + server.Name() + " ссылается на неверный адрес: " + *referral, false);
    if (next->Name() == server.Name()) return Finish({}, false);
    Ask(*next);
  }

  void Finish(std::string failure, bool timedOut) {
    FResult.Failure = std::move(failure);
    FResult.TimedOut = timedOut;
    FDone(std::move(FResult));
  }

  std::shared_ptr<ReportContext> FContext;
  std::string FQuery;
  WhoisChainDone FDone;
  WhoisResult FResult;
};

}  // namespace

void WhoisLookup(const std::shared_ptr<ReportContext>& context, const std::string& query, WhoisChainDone done) {
  std::make_shared<WhoisChain>(context, query, std::move(done))->Start();
}

std::string WhoisRaw(const std::vector<WhoisHop>& hops) {
  std::string raw;
  for (const WhoisHop& hop : hops) {
    if (!raw.empty()) raw += "\n";
    raw += "=== " + hop.Server + " ===\n" + hop.Text;
    if (!raw.ends_with('\n')) raw += '\n';
  }
  return raw;
}

std::string WhoisNote(const std::string& why, bool answered) {
  return why + (answered ? " Данные получены по WHOIS." : " По WHOIS запись тоже не получена.");
}

}  // namespace site
