#include "base/TextCoding.h"
#include "sources/DnsMessage.h"
#include "reports/ReportOnce.h"
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

// The name servers and mail hosts whose addresses are looked up: real domains
// have two to six, and a hostile zone may list hundreds.
constexpr std::size_t kMaxHosts = 8;

// The host an NS or MX record names.
std::string HostOf(DnsType type, const std::string& record) {
  return type == DnsType::MX ? record.substr(record.find(' ') + 1) : record;
}

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

// One page's DNS report: every query at once, then the addresses of the name
// servers and mail hosts they name; finished when the last answer is in or
// the page's deadline comes, whichever is first.
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
      // Late addresses of the hosts leave their records without them; the records themselves all came.
      if (!error) self->Finish(self->FArrived < self->FTypes.size());
    });
    for (std::size_t i = 0; i < FTypes.size(); ++i) {
      FContext->Dns->Query(FQuestion, FTypes[i], [self = shared_from_this(), i](DnsAnswer answer) {
        self->FAnswers[i] = std::move(answer);
        if (++self->FArrived == self->FTypes.size()) self->AskHosts();
      });
    }
  }

private:
  // The IPv4 and IPv6 addresses of the name servers and mail hosts, once
  // their names are known.
  void AskHosts() {
    if (!FDone) return;
    for (std::size_t i = 0; i < FTypes.size(); ++i) {
      if ((FTypes[i] != DnsType::NS && FTypes[i] != DnsType::MX) || !FAnswers[i] || !FAnswers[i]->Ok) continue;
      for (const std::string& record : FAnswers[i]->Records) {
        const std::string host = HostOf(FTypes[i], record);
        if (FHosts.size() < kMaxHosts && host != "." && std::find(FHosts.begin(), FHosts.end(), host) == FHosts.end()) FHosts.push_back(host);
      }
    }
    if (FHosts.empty()) return Finish(false);
    FHostAnswers.resize(FHosts.size() * 2);
    for (std::size_t i = 0; i < FHostAnswers.size(); ++i) {
      FContext->Dns->Query(FHosts[i / 2], i % 2 ? DnsType::AAAA : DnsType::A, [self = shared_from_this(), i](DnsAnswer answer) {
        self->FHostAnswers[i] = std::move(answer);
        if (++self->FHostsArrived == self->FHostAnswers.size()) self->Finish(false);
      });
    }
  }

  // "192.0.2.53, 2001:db8::53": what came of a host's two questions.
  std::string HostAddresses(const std::string& host) const {
    std::string addresses;
    const auto at = std::find(FHosts.begin(), FHosts.end(), host);
    if (at == FHosts.end()) return addresses;
    const std::size_t index = static_cast<std::size_t>(at - FHosts.begin()) * 2;
    for (std::size_t i = index; i < index + 2; ++i)
      if (FHostAnswers[i] && FHostAnswers[i]->Ok)
        for (const std::string& address : FHostAnswers[i]->Records) addresses.append(addresses.empty() ? "" : ", ").append(address);
    return addresses;
  }

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
        std::string shown = ShownRecord(FTypes[i], record);
        if (FTypes[i] == DnsType::NS || FTypes[i] == DnsType::MX) {
          const std::string addresses = HostAddresses(HostOf(FTypes[i], record));
          if (!addresses.empty()) shown.append(" — ").append(addresses);
        }
        result.Summary.Rows.push_back({type, std::move(shown), ttl});
        result.Raw.append(FOwner).append(".\t").append(ttl).append("\tIN\t").append(type).append("\t").append(record).append("\n");
      }
    }
    // The hosts' own records follow, as a DNS answer's additional section does.
    for (std::size_t i = 0; i < FHostAnswers.size(); ++i) {
      const auto& answer = FHostAnswers[i];
      if (!answer || !answer->Ok) continue;
      const std::string ttl = std::to_string(answer->Ttl);
      const char* type = i % 2 ? "AAAA" : "A";
      for (const std::string& record : answer->Records)
        result.Raw.append(FHosts[i / 2]).append(".\t").append(ttl).append("\tIN\t").append(type).append("\t").append(record).append("\n");
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
  std::vector<std::string> FHosts;                   // NS and MX hosts, in the order of their records
  std::vector<std::optional<DnsAnswer>> FHostAnswers;  // A then AAAA of each host
  std::size_t FHostsArrived = 0;
  ReportDone FDone;
  boost::asio::steady_timer FTimer;
  std::chrono::steady_clock::time_point FStart;
};

}  // namespace

void DnsRecords(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done) {
  if (target.As) {
    ReportResult result;
    result.Note = "DNS-записи есть у доменов и адресов, у номера автономной системы их нет.";
    return ReportOnce::Start(context, std::move(done))->Finish(std::move(result));
  }
  std::shared_ptr<DnsLookup> lookup;
  if (const auto ip = TargetIp(target)) {
    const std::string address = ip->to_string();
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
