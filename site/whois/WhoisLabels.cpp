#include "whois/WhoisLabels.h"

#include <algorithm>

namespace site {

namespace {

// One code point from UTF-8 at `at`, which moves past it; U+FFFD for a broken sequence.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto byte = static_cast<unsigned char>(text[at++]);
  if (byte < 0x80) return byte;
  const int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : -1;
  if (extra < 0) return 0xFFFD;
  char32_t code = byte & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) return 0xFFFD;
    code = (code << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
  }
  return code;
}

void Append(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

char32_t Lower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  const bool oddFirst = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if (c >= 0x100 && c <= 0x17E && c != 0x138 && c != 0x149 && (c % 2 == 1) == oddFirst) return c + 1;
  return c;
}

// Punctuation, symbols and spaces of the scripts WHOIS answers use.
bool IsMark(char32_t c) {
  if (c < 0x80) return !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
  return (c >= 0x80 && c <= 0xBF) || c == 0xD7 || c == 0xF7 || (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F) ||
         (c >= 0xFF00 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) || c == 0xFFFD;
}

std::vector<std::string> Keys(std::initializer_list<const char*> labels) {
  std::vector<std::string> keys;
  for (const char* label : labels) keys.push_back(KeyOf(label));
  return keys;
}

}  // namespace

std::string KeyOf(std::string_view label) {
  std::string key;
  for (std::size_t at = 0; at < label.size();) {
    const char32_t c = NextCodePoint(label, at);
    if (!IsMark(c)) Append(key, Lower(c));
  }
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
      "등록대행자", "登録担当者", "注册商", "注册服务机构", "所屬註冊服務機構"});
  static const std::vector<std::string> kCreated = Keys({
      "Creation Date", "Created", "Created On", "Created Date", "Create Date", "Date Created", "Creation", "Domain Created",
      "Domain Create Date", "Domain Registration Date", "Registration Date", "Registration Time", "Registered",
      "Registered On", "Registered Date", "Date Registered", "Record Created", "Record Created On", "Activated",
      "Relevant Dates Registered On", "Commencement Date", "Registration", "Domain Date Registered", "Domain Record Activated",
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
      "Renewal Date", "Record Expires", "Record Expires On", "Domain Expiration Date", "Domain Expires", "Registration Expiration Date",
      "Expiration", "Date Expires", "Expires at", "Validity", "Domain Date Billed Until", "Expired", "Exp Date", "Renewal",
      "Оплачен до", "Дата окончания", "Действует до", "Дата окончания регистрации", "Оплачено до", "Дата закінчення", "Діє до",
      "Fecha de expiración", "Fecha de vencimiento", "Fecha de Expiracion", "Vencimiento", "Expira", "Expiração",
      "Data de expiração", "Vencimento", "Date d'expiration", "Expire le", "Ablaufdatum", "Gültig bis", "Vervaldatum",
      "Verloopdatum", "Data wygaśnięcia", "Wygasa", "Data di scadenza", "Scadenza", "사용 종료일", "有効期限", "过期时间",
      "到期时间", "到期日期"});
  static const std::vector<std::string> kStatus = Keys({
      "Domain Status", "Status", "State", "EPP Status", "eppstatus", "Registration Status", "Domain State", "Registry Status",
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
      "власник", "등록인", "책임자", "登録者", "registrante", "abuse", "reseller", "kontakt", "abonament", "person"});
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
