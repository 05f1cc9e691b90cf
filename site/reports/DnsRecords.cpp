#include "base/TextCoding.h"
#include "sources/DnsMessage.h"
#include "reports/Reports.h"
#include "sources/TargetAddress.h"

#include <algorithm>
#include <boost/asio/steady_timer.hpp>
#include <optional>
#include <utility>
#include <vector>

namespace site {

namespace {

constexpr DnsType kDomainTypes[] = {DnsType::A,  DnsType::AAAA, DnsType::CNAME, DnsType::MX,
                                    DnsType::NS, DnsType::TXT,  DnsType::SOA};

// A record as the summary shows it: every name in it as the page names the
// domain, in both forms when international, so that a mail server or a name
// server under an international name reads as it is written. The raw records
// keep the form the DNS sends. The records are of our own making (a space
// inside a name comes escaped), so their names are where these look.
std::string ShownRecord(DnsType type, const std::string& record) {
  switch (type) {
    case DnsType::CNAME:
    case DnsType::NS:
    case DnsType::PTR:
      return ShownName(record);
    case DnsType::MX: {
      const std::size_t name = record.find(' ') + 1;
      return record.substr(0, name) + ShownName(record.substr(name));
    }
    case DnsType::SOA: {
      const std::size_t mailbox = record.find(' ') + 1;
      const std::size_t numbers = record.find(' ', mailbox);
      return ShownName(record.substr(0, mailbox - 1)) + ' ' +
             ShownName(record.substr(mailbox, numbers - mailbox)) + record.substr(numbers);
    }
    default:
      return record;
  }
}

// One page's DNS report: every query at once, finished when the last answer is
// in or the page's deadline comes, whichever is first.
class DnsLookup : public std::enable_shared_from_this<DnsLookup> {
public:
  DnsLookup(std::shared_ptr<ReportContext> context, std::string question, std::string owner,
            std::vector<DnsType> types, ReportDone done)
      : FContext(std::move(context)), FQuestion(std::move(question)), FOwner(std::move(owner)),
        FTypes(std::move(types)), FAnswers(FTypes.size()), FDone(std::move(done)), FTimer(FContext->Executor),
        FStart(std::chrono::steady_clock::now()) {}

  void Start() {
    FTimer.expires_at(FContext->Deadline);
    FTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
      if (!error) self->Finish(true);
    });
    for (std::size_t i = 0; i < FTypes.size(); ++i) {
      FContext->Dns->Query(FQuestion, FTypes[i], [self = shared_from_this(), i](DnsAnswer answer) {
        self->FAnswers[i] = std::move(answer);
        if (++self->FArrived == self->FTypes.size()) self->Finish(false);
      });
    }
  }

private:
  void Finish(bool timedOut) {
    if (!FDone) return;
    FTimer.cancel();
    ReportResult result = Result(timedOut);
    result.Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - FStart);
    std::exchange(FDone, nullptr)(std::move(result));
  }

  ReportResult Result(bool timedOut) const {
    ReportResult result;
    result.Summary.Head = {"Тип", "Значение", "TTL"};
    std::size_t failed = 0, timedOutQueries = 0;
    std::string firstError;
    for (std::size_t i = 0; i < FTypes.size(); ++i) {
      const std::string type(DnsTypeName(FTypes[i]));
      const auto& answer = FAnswers[i];
      std::string remark;
      if (!answer) {
        remark = "превышено время ожидания";
      } else if (!answer->Ok) {
        if (!failed++) firstError = answer->Error;
        timedOutQueries += answer->TimedOut;
        remark = "ошибка: " + answer->Error;
      } else if (answer->NoData) {
        remark = "нет записей";
      }
      if (!remark.empty()) {
        result.Summary.Rows.push_back({type, remark, ""});
        // Appended piece by piece: a served page builds these for every
        // question, and each sum of strings would be a string of its own.
        result.Raw.append("; ").append(FOwner).append(". ").append(type).append(": ").append(remark).append("\n");
        continue;
      }
      const std::string ttl = std::to_string(answer->Ttl);
      for (const std::string& record : answer->Records) {
        result.Summary.Rows.push_back({type, ShownRecord(FTypes[i], record), ttl});
        result.Raw.append(FOwner).append(".\t").append(ttl).append("\tIN\t").append(type).append("\t").append(record).append("\n");
      }
    }
    const bool nxDomain = FTypes.front() != DnsType::PTR &&
                          std::any_of(FAnswers.begin(), FAnswers.end(), [](const auto& a) { return a && a->NxDomain; });
    if (timedOut || timedOutQueries == FTypes.size()) {
      result.State = Outcome::TimedOut;
      result.Reason = "DNS-сервер ответил не на все запросы";
    } else if (nxDomain) {
      result.State = Outcome::Failed;
      result.Reason = "Домен " + ShownName(FOwner) + " не существует (NXDOMAIN)";
    } else if (failed == FTypes.size()) {
      result.State = Outcome::Failed;
      result.Reason = "DNS-запросы не удались: " + firstError;
    } else if (failed) {
      result.Reason = "Часть DNS-запросов не удалась";
    }
    return result;
  }

  std::shared_ptr<ReportContext> FContext;
  std::string FQuestion;
  std::string FOwner;
  std::vector<DnsType> FTypes;
  std::vector<std::optional<DnsAnswer>> FAnswers;
  std::size_t FArrived = 0;
  ReportDone FDone;
  boost::asio::steady_timer FTimer;
  std::chrono::steady_clock::time_point FStart;
};

}  // namespace

void DnsRecords(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done) {
  std::shared_ptr<DnsLookup> lookup;
  if (target.Ipv4) {
    const std::string address = Ipv4Text(*target.Ipv4);
    lookup = std::make_shared<DnsLookup>(std::move(context), address, ReverseName(address),
                                         std::vector<DnsType>{DnsType::PTR}, std::move(done));
  } else {
    lookup = std::make_shared<DnsLookup>(std::move(context), target.Domain, target.Domain,
                                         std::vector<DnsType>(std::begin(kDomainTypes), std::end(kDomainTypes)),
                                         std::move(done));
  }
  lookup->Start();
}

}  // namespace site
