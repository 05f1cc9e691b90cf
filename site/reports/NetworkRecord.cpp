// The network's registration record, or an autonomous system's: RDAP of the
// registry the bootstrap file of its kind names for it, WHOIS through the
// root's referral otherwise.

#include "base/TextCoding.h"
#include "sources/HttpsUrl.h"
#include "sources/Rdap.h"
#include "sources/RdapBootstrap.h"
#include "sources/RdapJson.h"
#include "reports/ReportOnce.h"
#include "reports/Reports.h"
#include "sources/TargetAddress.h"
#include "sources/Whois.h"
#include "whois/WhoisFields.h"

namespace site {

namespace {

// What the record is about, as each source names it.
struct Subject {
  std::string Query;  // for WHOIS, and the tail of the RDAP path: "192.0.2.1", "2001:db8::1", "AS15169"
  std::string File;   // the bootstrap file of its kind
  std::string Path;   // under the RDAP service: "ip/192.0.2.1", "autnum/15169"
  std::function<std::optional<std::string>(const nlohmann::json&)> Service;
  bool As = false;
};

Subject AddressSubject(const boost::asio::ip::address& address) {
  const std::string text = address.to_string();
  return {text, address.is_v4() ? "ipv4.json" : "ipv6.json", "ip/" + text,
          [address](const nlohmann::json& file) { return ServiceForAddress(file, address); }};
}

Subject AsSubject(std::uint32_t number) {
  return {"AS" + std::to_string(number), "asn.json", "autnum/" + std::to_string(number),
          [number](const nlohmann::json& file) { return ServiceForAs(file, number); }, true};
}

class NetworkLookup : public std::enable_shared_from_this<NetworkLookup> {
public:
  NetworkLookup(std::shared_ptr<ReportContext> context, Subject subject, std::string note, std::shared_ptr<ReportOnce> once)
      : FContext(std::move(context)), FSubject(std::move(subject)), FNote(std::move(note)), FOnce(std::move(once)) {}

  void Start() {
    FetchBootstrap(FContext, FSubject.File, [self = shared_from_this()](auto file, std::string failure, bool) {
      if (self->FOnce->Finished()) return;
      if (!file) return self->ByWhois(failure + ".");
      const auto service = self->FSubject.Service(*file);
      if (!service) return self->ByWhois(self->FSubject.As ? "Для этого номера нет сервера RDAP." : "Для этого адреса нет сервера RDAP.");
      self->ByRdap(*service + self->FSubject.Path);
    });
  }

private:
  void ByRdap(const std::string& url) {
    FetchRdap(FContext, url, [self = shared_from_this(), url](RdapAnswer answer) {
      if (self->FOnce->Finished()) return;
      if (answer.TimedOut) return self->FOnce->Finish(FailedResult(answer.Failure, true));
      if (!answer.Record) return self->ByWhois(answer.Failure + ".");
      ReportResult result;
      result.Note = self->FNote + "Источник: RDAP регионального регистратора.";
      const auto parsed = ParseHttpsUrl(url);
      result.Summary = self->FSubject.As ? AsSummary(*answer.Record, parsed ? parsed->Host : std::string{}) : NetworkSummary(*answer.Record);
      result.Raw = "=== " + url + " ===\n" + PrettyRdap(*answer.Record) + "\n";
      self->FOnce->Finish(std::move(result));
    });
  }

  // `why`: one sentence on why RDAP could not answer.
  void ByWhois(const std::string& why) {
    WhoisLookup(FContext, FSubject.Query, [self = shared_from_this(), why](WhoisResult whois) {
      if (self->FOnce->Finished()) return;
      if (whois.Hops.empty()) {
        ReportResult failed = FailedResult(whois.Failure, whois.TimedOut);
        failed.Note = self->FNote + WhoisNote(why, false);
        return self->FOnce->Finish(std::move(failed));
      }
      std::vector<std::string> answers;
      for (const WhoisHop& hop : whois.Hops) answers.push_back(hop.Text);
      ReportResult result;
      result.Note = self->FNote + WhoisNote(why, true);
      result.Summary = WhoisSummary(answers, WhoisKind::Network);
      result.Raw = WhoisRaw(whois.Hops);
      if (!whois.Failure.empty()) result.Reason = "Цепочка WHOIS оборвалась: " + whois.Failure;
      self->FOnce->Finish(std::move(result));
    });
  }

  std::shared_ptr<ReportContext> FContext;
  Subject FSubject;
  std::string FNote;
  std::shared_ptr<ReportOnce> FOnce;
};

}  // namespace

void NetworkRecord(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done) {
  auto once = ReportOnce::Start(context, std::move(done));
  if (target.As) return std::make_shared<NetworkLookup>(context, AsSubject(*target.As), std::string{}, once)->Start();
  FirstAddress(context, target, [context, once, domain = target.Domain](std::optional<boost::asio::ip::address> address, std::string reason) {
    if (once->Finished()) return;
    if (!address) return once->Finish(FailedResult(reason));
    const std::string note = domain.empty() ? std::string{}
                                            : "Сведения о сети адреса " + address->to_string() + " (" + FirstRecordNote(*address, ShownName(domain)) + "). ";
    std::make_shared<NetworkLookup>(context, AddressSubject(*address), note, once)->Start();
  });
}

}  // namespace site
