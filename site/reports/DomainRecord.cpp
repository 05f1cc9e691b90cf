// The domain's registration record: RDAP from the registry the bootstrap file
// names (and the registrar's record it links), WHOIS where the zone has no RDAP.

#include "base/RegisteredName.h"
#include "base/TextCoding.h"
#include "sources/Rdap.h"
#include "sources/RdapBootstrap.h"
#include "sources/RdapJson.h"
#include "reports/ReportOnce.h"
#include "reports/Reports.h"
#include "sources/Whois.h"
#include "whois/WhoisFields.h"

namespace site {

namespace {

// The page says which name the registries were asked when it is not the address
// typed. `domain` is the typed name's ASCII form: an international name's
// registered name is the same name only in that form.
std::string NameNote(const std::string& domain, const RegisteredName& registered) {
  if (registered.PublicSuffix) return "«" + ShownName(registered.Name) + "» — также публичная зона, в которой регистрируют домены. ";
  return registered.Name == domain ? std::string{} : "В реестрах запрошено зарегистрированное имя " + ShownName(registered.Name) + ". ";
}

class DomainLookup : public std::enable_shared_from_this<DomainLookup> {
public:
  DomainLookup(std::shared_ptr<ReportContext> context, std::string domain, RegisteredName registered, std::shared_ptr<ReportOnce> once)
      : FContext(std::move(context)), FDomain(std::move(domain)), FRegistered(std::move(registered)), FOnce(std::move(once)) {}

  void Start() {
    FetchBootstrap(FContext, "dns.json", [self = shared_from_this()](auto file, std::string failure, bool) {
      if (self->FOnce->Finished()) return;
      if (!file) return self->ByWhois(failure + ".");
      const auto service = ServiceForDomain(*file, self->FDomain);
      if (!service) return self->ByWhois("Для этой зоны нет сервера RDAP.");
      self->ByRdap(*service);
    });
  }

private:
  void ByRdap(const DomainService& service) {
    const std::string url = service.Url + "domain/" + FRegistered.Name;
    FetchRdap(FContext, url, [self = shared_from_this(), url](RdapAnswer answer) {
      if (self->FOnce->Finished()) return;
      if (!answer.Record && answer.NotFound && self->FRegistered.PublicSuffix) return self->FOnce->Finish(FailedResult(self->FRegistered.Failure));
      if (!answer.Record) return self->FOnce->Finish(FailedResult(answer.Failure, answer.TimedOut));
      self->FResult.Note = NameNote(self->FDomain, self->FRegistered) + "Источник: RDAP реестра.";
      self->FResult.Summary = DomainSummary(*answer.Record);
      self->FResult.Raw = "=== " + url + " ===\n" + PrettyRdap(*answer.Record) + "\n";
      const auto link = RegistrarLink(*answer.Record);
      if (!link) return self->FOnce->Finish(std::move(self->FResult));
      self->Registrar(*link);
    });
  }

  void Registrar(const std::string& url) {
    FetchRdap(FContext, url, [self = shared_from_this(), url](RdapAnswer answer) {
      if (self->FOnce->Finished()) return;
      if (answer.Record) {
        FillMissingRows(self->FResult.Summary, DomainSummary(*answer.Record));
        self->FResult.Raw += "\n=== " + url + " ===\n" + PrettyRdap(*answer.Record) + "\n";
        self->FResult.Note += " Дополнено записью регистратора.";
      } else {
        self->FResult.Reason = "Запись регистратора не получена: " + answer.Failure;
      }
      self->FOnce->Finish(std::move(self->FResult));
    });
  }

  // `why`: one sentence on why RDAP could not answer.
  void ByWhois(const std::string& why) {
    WhoisLookup(FContext, FRegistered.Name, [self = shared_from_this(), why](WhoisResult whois) {
      if (self->FOnce->Finished()) return;
      // The root's answer alone is about the zone, not the domain; only a registry's answer counts.
      if (whois.Hops.size() < 2) {
        ReportResult failed = FailedResult(whois.Failure.empty() ? "Корневой сервер WHOIS не знает сервера этой зоны" : whois.Failure, whois.TimedOut);
        failed.Raw = WhoisRaw(whois.Hops);
        failed.Note = WhoisNote(why, false);
        return self->FOnce->Finish(std::move(failed));
      }
      std::vector<std::string> answers;
      for (auto hop = whois.Hops.begin() + 1; hop != whois.Hops.end(); ++hop) answers.push_back(hop->Text);
      ReportResult result;
      result.Summary = WhoisSummary(answers, WhoisKind::Domain, self->FRegistered.Name);
      result.Raw = WhoisRaw(whois.Hops);
      if (result.Summary.Rows.empty() && self->FRegistered.PublicSuffix) {
        result.State = Outcome::Failed;
        result.Reason = self->FRegistered.Failure;
      } else if (result.Summary.Rows.empty() && WhoisSaysNoMatch(answers.back())) {
        result.State = Outcome::Failed;
        result.Reason = "Домен " + ShownName(self->FRegistered.Name) + " не найден в реестре";
      } else if (!whois.Failure.empty()) {
        result.Reason = "Сервер регистратора не ответил: " + whois.Failure;
      }
      result.Note = NameNote(self->FDomain, self->FRegistered) + WhoisNote(why, true);
      self->FOnce->Finish(std::move(result));
    });
  }

  std::shared_ptr<ReportContext> FContext;
  std::string FDomain;
  RegisteredName FRegistered;  // its Name is the one registries are asked
  std::shared_ptr<ReportOnce> FOnce;
  ReportResult FResult;
};

}  // namespace

void DomainRecord(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done) {
  auto once = ReportOnce::Start(context, std::move(done));
  if (target.Domain.empty()) {
    ReportResult result;
    result.Note = std::string("Регистрационные данные ведутся только для доменов. Сведения ") +
                  (target.As ? "об автономной системе" : "об адресе") + " — в разделе «Информация о сети».";
    return once->Finish(std::move(result));
  }
  RegisteredName registered = RegisteredNameOf(target.Domain);
  if (registered.Name.empty()) return once->Finish(FailedResult(registered.Failure, false));
  std::make_shared<DomainLookup>(std::move(context), target.Domain, std::move(registered), std::move(once))->Start();
}

}  // namespace site
