#include "sources/Rdap.h"

#include "sources/HttpsGet.h"
#include "sources/RdapJson.h"
#include "sources/SourcePolicy.h"
#include "sources/redis/SharedCache.h"

namespace site {

namespace {

constexpr std::chrono::hours kRecordTtl{1};

std::string StatusFailure(unsigned status) {
  if (status == 404) return "Сервер RDAP не нашёл такой записи (404)";
  if (status == 429) return "Сервер RDAP ограничил число запросов (429), попробуйте позже";
  return "Сервер RDAP ответил кодом " + std::to_string(status);
}

// The record from the registry itself: no cache had it.
void AskRdap(const std::shared_ptr<ReportContext>& context, const std::string& url, const std::string& key, RdapDone done) {
  const auto deadline = std::min(context->Deadline, std::chrono::steady_clock::now() + context->Shared.Opts.RdapTimeout);
  HttpsGet(context, url, deadline, PrivateSourcesAllowed(context->Shared.Opts),
           [context, key, done = std::move(done)](HttpsReply reply) {
             if (!reply.Failure.empty()) return done({std::nullopt, reply.Failure, reply.TimedOut});
             if (reply.Status != 200) return done({std::nullopt, StatusFailure(reply.Status), false, reply.Status == 404});
             auto record = ParseRdapJson(reply.Body);
             if (!record) return done({std::nullopt, "Сервер RDAP прислал неверный JSON или ответ сверх пределов разбора", false});
             StoreRecord(context->Shared, key, reply.Body, kRecordTtl);
             done({std::move(record), {}, false});
           });
}

}  // namespace

void FetchRdap(const std::shared_ptr<ReportContext>& context, const std::string& url, RdapDone done) {
  const std::string key = "rdap:" + url;
  FindRecord(context->Shared, context->Executor, key, [context, url, key, done = std::move(done)](std::optional<std::string> cached) {
    // What another instance shared is outside data like any: asked again when it does not read.
    if (auto record = cached ? ParseRdapJson(*cached) : std::nullopt) return done({std::move(record), {}, false});
    AskRdap(context, url, key, done);
  });
}

std::string PrettyRdap(const nlohmann::json& record) {
  return record.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace site
