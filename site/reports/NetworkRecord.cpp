// The network's registration record: RDAP of the registry the IPv4 bootstrap
// file names for the address, WHOIS through the root's referral otherwise.

#include "base/TextCoding.h"
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

class NetworkLookup : public std::enable_shared_from_this<NetworkLookup> {
public:
  NetworkLookup(std::shared_ptr<ReportContext> context, std::uint32_t address, std::string note, std::shared_ptr<ReportOnce> once)
      : FContext(std::move(context)), FAddress(Ipv4Text(address)), FNumeric(address), FNote(std::move(note)), FOnce(std::move(once)) {}

  void Start() {
    FetchBootstrap(FContext, "ipv4.json", [self = shared_from_this()](auto file, std::string failure, bool) {
      if (self->FOnce->Finished()) return;
      if (!file) return self->ByWhois(failure + ".");
      const auto service = ServiceForIpv4(*file, self->FNumeric);
      if (!service) return self->ByWhois("Для этого адреса нет сервера RDAP.");
      self->ByRdap(*service + "ip/" + self->FAddress);
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
      result.Summary = NetworkSummary(*answer.Record);
      result.Raw = "=== " + url + " ===\n" + PrettyRdap(*answer.Record) + "\n";
      self->FOnce->Finish(std::move(result));
    });
  }

  // `why`: one sentence on why RDAP could not answer.
  void ByWhois(const std::string& why) {
    WhoisLookup(FContext, FAddress, [self = shared_from_this(), why](WhoisResult whois) {
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
  std::string FAddress;
  std::uint32_t FNumeric;
  std::string FNote;
  std::shared_ptr<ReportOnce> FOnce;
};

}  // namespace

void NetworkRecord(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done) {
  auto once = ReportOnce::Start(context, std::move(done));
  FirstIpv4(context, target, [context, once, domain = target.Domain](std::optional<std::uint32_t> address, std::string reason) {
    if (once->Finished()) return;
    if (!address) return once->Finish(FailedResult(reason));
    const std::string note = domain.empty() ? std::string{} : "Сведения о сети адреса " + Ipv4Text(*address) + " (первая запись A домена " + ShownName(domain) + "). ";
    std::make_shared<NetworkLookup>(context, *address, note, once)->Start();
  });
}

}  // namespace site
