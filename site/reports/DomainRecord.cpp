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
// typed, and which name the record is for when it is not the one asked first.
// `domain` is the typed name's ASCII form: an international name's registered
// name is the same name only in that form.
std::string NameNote(const std::string& domain, const RegisteredName& registered, bool icann) {
  if (icann)
    return "У реестра нет записи об имени " + ShownName(registered.Name) + " — такие имена выдаёт владелец зоны " +
           ShownName(registered.IcannName) + "; показана запись о " + ShownName(registered.IcannName) + ". ";
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
  // The name the registry is asked now.
  const std::string& Asked() const { return FIcann ? FRegistered.IcannName : FRegistered.Name; }

  // The registry has no record of the name asked: true when the ICANN
  // section's name is left to ask, which is then the one asked.
  bool ToIcannName() {
    if (FIcann || FRegistered.IcannName.empty()) return false;
    FIcann = true;
    return true;
  }

  // A public suffix's own name is refused where its registry has no record of it.
  bool AskedPublicSuffix() const { return FRegistered.PublicSuffix && !FIcann; }

  void ByRdap(const DomainService& service) {
    const std::string url = service.Url + "domain/" + Asked();
    FetchRdap(FContext, url, [self = shared_from_this(), url, service](RdapAnswer answer) {
      if (self->FOnce->Finished()) return;
      if (!answer.Record && answer.NotFound && self->ToIcannName()) return self->ByRdap(service);
      if (!answer.Record && answer.NotFound && self->AskedPublicSuffix()) return self->FOnce->Finish(FailedResult(self->FRegistered.Failure));
      if (!answer.Record) return self->FOnce->Finish(FailedResult(answer.Failure, answer.TimedOut));
      self->FResult.Note = NameNote(self->FDomain, self->FRegistered, self->FIcann) + "Источник: RDAP реестра.";
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
    WhoisLookup(FContext, Asked(), [self = shared_from_this(), why](WhoisResult whois) {
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
      result.Summary = WhoisSummary(answers, WhoisKind::Domain, self->Asked());
      result.Raw = WhoisRaw(whois.Hops);
      const bool noMatch = result.Summary.Rows.empty() && WhoisSaysNoMatch(answers.back());
      if ((noMatch || (result.Summary.Rows.empty() && self->AskedPublicSuffix())) && self->ToIcannName()) return self->ByWhois(why);
      if (result.Summary.Rows.empty() && self->AskedPublicSuffix()) {
        result.State = Outcome::Failed;
        result.Reason = self->FRegistered.Failure;
      } else if (noMatch) {
        result.State = Outcome::Failed;
        result.Reason = "Домен " + ShownName(self->Asked()) + " не найден в реестре";
      } else if (!whois.Failure.empty()) {
        result.Reason = "Сервер регистратора не ответил: " + whois.Failure;
      }
      result.Note = NameNote(self->FDomain, self->FRegistered, self->FIcann) + WhoisNote(why, true);
      self->FOnce->Finish(std::move(result));
    });
  }

  std::shared_ptr<ReportContext> FContext;
  std::string FDomain;
  RegisteredName FRegistered;  // its Name is asked first, its IcannName when the registry has no record of it
  bool FIcann = false;         // the registry had no record of Name: IcannName is asked
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
