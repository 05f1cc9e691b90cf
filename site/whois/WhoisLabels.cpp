#include "whois/WhoisLabels.h"

#include <unicase.h>
#include <unictype.h>
#include <uninorm.h>
#include <unistr.h>

#include <algorithm>
#include <cstdlib>

namespace site {

namespace {

// Letters and digits carry a label; punctuation, symbols, spaces and the
// combining marks that the decomposition splits off (accents, the dot of
// Turkish İ, Japanese voicing marks) do not.
bool Carries(ucs4_t c) { return uc_is_general_category_withtable(c, UC_CATEGORY_MASK_L | UC_CATEGORY_MASK_N); }

// Turkish writes one letter i with and without its dot; case folding keeps the
// dotless ı apart, so "KAYIT" and "Kayıt" would be two labels.
constexpr ucs4_t kDotlessI = 0x131;

std::vector<std::string> Keys(std::initializer_list<const char*> labels) {
  std::vector<std::string> keys;
  for (const char* label : labels) keys.push_back(KeyOf(label));
  return keys;
}

}  // namespace

std::string KeyOf(std::string_view label) {
  // Folded by Unicode's own case folding in its compatibility decomposition:
  // full-width letters, ligatures and accented letters meet their plain forms.
  if (label.empty()) return {};
  std::size_t length = 0;
  uint8_t* folded = u8_casefold(reinterpret_cast<const uint8_t*>(label.data()), label.size(), nullptr, UNINORM_NFKD, nullptr, &length);
  if (!folded) return {};
  std::string key;
  for (const uint8_t* at = folded; at < folded + length;) {
    ucs4_t c;
    at += u8_mbtouc(&c, at, folded + length - at);
    if (!Carries(c)) continue;
    uint8_t bytes[6];
    const int size = u8_uctomb(bytes, c == kDotlessI ? 'i' : c, sizeof bytes);
    key.append(reinterpret_cast<const char*>(bytes), size);
  }
  std::free(folded);
  while (!key.empty() && key.back() >= '0' && key.back() <= '9') key.pop_back();
  return key;
}

const std::vector<std::string>& FieldKeys(WhoisField field) {
  static const std::vector<std::string> kDomainName = Keys({
      "Domain Name", "Domain", "Domainname", "Domain Name (ASCII)", "Domain Information Domain Name", "Query",
      "Имя домена", "Доменное имя", "Домен", "Ім'я домену", "Доменне ім'я", "Nombre de dominio", "Dominio", "Nome de domínio",
      "Domínio", "Nom de domaine", "Domaine", "Domeinnaam", "Domein", "Nazwa domeny", "Domena", "Nome dominio",
      "도메인이름", "도메인 이름", "ドメイン名", "域名", "網域名稱"});
  static const std::vector<std::string> kRegistrar = Keys({
      "Registrar Name", "Registrar Organization", "Registrar Organisation", "Registrar", "Sponsoring Registrar",
      "Sponsoring Registrar Organization", "Registrar of Record", "Registration Service Provider", "Registration Service Providers",
      "Authorized Agency", "Registrar Company", "Registrar Organization Name", "Current Registrar", "Current Registar", "Registrar Handle", "Registered through",
      "Регистратор", "Регистратор домена", "Реєстратор", "Registrador", "Agente Registrador", "Agente registrador", "Provedor",
      "Bureau d'enregistrement", "Registraire", "Rejestrator", "Registrar Ragione Sociale", "Registrar Organizzazione",
      "등록대행자", "注册商", "注册服务机构", "所屬註冊服務機構"});
  static const std::vector<std::string> kCreated = Keys({
      "Creation Date", "Created", "Created On", "Created Date", "Create Date", "Date Created", "Creation", "Domain Created",
      "Domain Create Date", "Domain Registration Date", "Registration Date", "Registration Time", "Registered",
      "Registered On", "Registered Date", "Date Registered", "Record Created", "Record Created On", "Activated",
      "Relevant Dates Registered On", "Commencement Date", "Domain Name Commencement Date", "Domain registered", "Registration", "Domain Date Registered", "Domain Record Activated", "Acivated",
      "Дата создания", "Создан", "Дата регистрации", "Зарегистрирован", "Створено", "Дата створення", "Дата реєстрації",
      "Fecha de creación", "Fecha de registro", "Fecha de alta", "Registrado", "Fecha de Creacion", "Criado", "Data de criação",
      "Data de registro", "Date de création", "Créé le", "Creation date", "Erstellt", "Registriert", "Angelegt",
      "Registratiedatum", "Datum registratie", "Aangemaakt", "Data utworzenia", "Data rejestracji", "First registration date", "Utworzono",
      "Data di creazione", "Data registrazione", "Creato", "Data de registo", "Date of Registration", "Registrierungsdatum",
      "Date d'enregistrement", "Oluşturulma Tarihi", "Kayıt Tarihi", "Data di registrazione", "등록일", "登録年月日", "登録日", "注册时间", "註冊日期", "Created on"});
  static const std::vector<std::string> kExpires = Keys({
      "Registry Expiry Date", "Registrar Registration Expiration Date", "Registry Expiration Date", "Record Expired", "Date of Expiry",
      "Data scadenza", "Bitiş Tarihi", "Действителен до", "Expiration Date", "Expiry Date", "Expires",
      "Expires On", "Expire", "Expire Date", "Expiration Time", "Expiry", "Paid-till", "Paid till", "Valid Until",
      "Renewal Date", "Record Expires", "Record Expires On", "Record will expire on", "Domain Expiration Date", "Domain Expires", "Registration Expiration Date",
      "Expiration", "Date Expires", "Expires at", "Validity", "Domain Date Billed Until", "Expired", "Exp Date", "Renewal",
      "Оплачен до", "Дата окончания", "Действует до", "Дата окончания регистрации", "Оплачено до", "Дата закінчення", "Діє до",
      "Fecha de expiración", "Fecha de vencimiento", "Fecha de Expiracion", "Vencimiento", "Expira", "Expiração",
      "Data de expiração", "Vencimento", "Date d'expiration", "Expire le", "Ablaufdatum", "Gültig bis", "Vervaldatum",
      "Verloopdatum", "Data wygaśnięcia", "Wygasa", "Data di scadenza", "Scadenza", "사용 종료일", "有効期限", "过期时间",
      "到期时间", "到期日期"});
  static const std::vector<std::string> kStatus = Keys({
      "Domain Status", "Status", "State", "EPP Status", "eppstatus", "dsstatus", "Registration Status", "Domain State", "Registry Status",
      "domaintype", "Flags",
      "Статус", "Состояние", "Стан", "Estado", "Situação", "Statut", "État", "Stato", "Stan", "상태", "状態", "状态",
      "域名状态"});
  static const std::vector<std::string> kNameServer = Keys({
      "Name Server", "Name Servers", "Nameserver", "Nameservers", "nserver", "Hostname", "Host Name", "Domain Servers",
      "Domain Nameservers", "Domain servers in listed order", "DNS", "DNS Servers", "DNS Server", "Name Servers Information",
      "Name Server Information", "Name servers in listed order", "Name servers in the listed order", "Nameservers in listed order",
      "Primary Server", "Secondary Server", "Primary Name Server", "Secondary Name Server", "Domain Server", "NS", "NS Name",
      "Серверы DNS", "Сервер DNS", "DNS-серверы", "Серверы имен", "Сервери DNS", "Servidores DNS", "Servidor DNS",
      "Servidores de nombres", "Servidor de nombres", "Servidores de nombre", "Servidor de nombre", "Servidor de nomes",
      "Servidores de nomes", "Serveur de noms", "Serveurs de noms", "Naamservers", "Serwery DNS",
      "Serwery nazw", "호스트이름", "네임서버", "ネームサーバ", "域名服务器", "DNS服务器"});
  switch (field) {
    case WhoisField::DomainName: return kDomainName;
    case WhoisField::Registrar: return kRegistrar;
    case WhoisField::Created: return kCreated;
    case WhoisField::Expires: return kExpires;
    case WhoisField::Status: return kStatus;
    case WhoisField::NameServer: return kNameServer;
  }
  return kStatus;
}

bool IsContactSection(std::string_view sectionKey) {
  static const std::vector<std::string> kWords = Keys({
      "registrant", "admin", "tech", "billing", "contact", "holder", "owner", "onsite", "zonec", "titular", "contacto",
      "contato", "responsavel", "titulaire", "inhaber", "houder", "abonent", "администратор", "владелец", "контакт",
      "власник", "등록인", "책임자", "登録者", "registrante", "abuse", "reseller", "kontakt", "abonament", "person", "organisation",
      "organization"});
  return std::any_of(kWords.begin(), kWords.end(), [&](const std::string& word) { return sectionKey.find(word) != std::string_view::npos; });
}

bool IsPartySection(std::string_view sectionKey) {
  static const std::vector<std::string> kWords = Keys({"registrar", "registration service provider", "reseller", "реєстратор", "регистратор"});
  return IsContactSection(sectionKey) ||
         std::any_of(kWords.begin(), kWords.end(), [&](const std::string& word) { return sectionKey.find(word) != std::string_view::npos; });
}

bool BoundToDomainParagraph(std::string_view key) {
  static const std::vector<std::string> kBound = Keys({"State", "Stan", "Estado"});
  return std::find(kBound.begin(), kBound.end(), key) != kBound.end();
}

bool OpensOtherObject(std::string_view key, bool firstInParagraph) {
  static const std::vector<std::string> kAnywhere = Keys({"Server Name"});
  static const std::vector<std::string> kParagraph = Keys({"nic-hdl", "nic-hdl-br", "nic-handle", "person", "role", "organisation", "contact", "handle", "Contact ID",
                                                           "key-cert", "mntner", "inetnum", "aut-num", "nsset", "keyset"});
  if (std::find(kAnywhere.begin(), kAnywhere.end(), key) != kAnywhere.end()) return true;
  return firstInParagraph && (std::find(kParagraph.begin(), kParagraph.end(), key) != kParagraph.end() || IsContactSection(key));
}

const std::vector<std::string>& NameKeys() {
  static const std::vector<std::string> kNames = Keys({"Name", "Organization", "Organisation", "org-name", "Company", "contact", "Registrar Name"});
  return kNames;
}

DateOrder DateOrderOf(std::string_view asked) {
  // The zones of one registry operator that writes "MM/DD/YYYY".
  static const std::vector<std::string_view> kMonthFirst = {"tk", "ml", "ga", "cf", "gq"};
  const std::string_view zone = asked.substr(asked.rfind('.') + 1);
  return std::find(kMonthFirst.begin(), kMonthFirst.end(), zone) != kMonthFirst.end() ? DateOrder::MonthFirst : DateOrder::DayFirst;
}

const std::vector<NetworkLabel>& NetworkLabels() {
  static const std::vector<NetworkLabel> kLabels = {
      {"Диапазон", Keys({"inetnum", "NetRange", "inet6num", "IP Network"})},
      {"Имя сети", Keys({"netname", "Network Name", "NetName"})},
      {"Страна", Keys({"country", "Country Code"})},
      {"Организация", Keys({"org-name", "OrgName", "Organization", "descr", "Owner"})},
      {"Создана", Keys({"created", "RegDate", "Registration Date"})},
  };
  return kLabels;
}

}  // namespace site
