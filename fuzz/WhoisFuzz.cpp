// A WHOIS server's reply in any bytes and any charset, about any name: the
// text made of it is UTF-8 with "\n" line ends and no control characters but
// tabs, valid UTF-8 without them passes unchanged, the fields read from it
// are UTF-8 values without line ends, and its name servers are host names in
// lower case without a trailing dot.
#include "FuzzSupport.h"
#include "sources/WhoisText.h"
#include "whois/WhoisFields.h"

namespace {

void CheckText(const std::string& text) {
  if (!IsUtf8(text)) Defect("text not UTF-8");
  for (unsigned char c : text)
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) Defect("control character in text");
}

void CheckTable(const site::Table& table) {
  for (const auto& row : table.Rows) {
    if (row.size() != 2) Defect("summary row without a label and a value");
    for (const std::string& cell : row)
      if (!IsUtf8(cell)) Defect("summary cell not UTF-8");
  }
}

void CheckValue(const std::string& value) {
  if (!IsUtf8(value) || value.find('\n') != std::string::npos) Defect("value not one line of UTF-8: " + value);
}

void CheckDomain(const site::WhoisDomainFields& fields) {
  for (const std::string* value : {&fields.Registrar, &fields.Created, &fields.Expires}) CheckValue(*value);
  for (const std::string& status : fields.Status) CheckValue(status);
  for (const std::string& server : fields.NameServers) {
    CheckValue(server);
    if (server.empty() || server.back() == '.' || server.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ \t") != std::string::npos)
      Defect("not a host name in lower case: " + server);
  }
}

bool Plain(const std::string& bytes) {
  if (!IsUtf8(bytes)) return false;
  for (unsigned char c : bytes)
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> f = Fields(data, size, 4);
  const std::string& key = f[0];
  const std::string& asked = f[1];
  std::vector<std::string> answers;
  for (const std::string& bytes : {f[2], f[3]}) {
    for (const char* charset : {"UTF-8", "KOI8-R", "WINDOWS-1251", "WINDOWS-1252", "EUC-JP", "CP932", "BIG5", "GB18030", "ISO-2022-JP"})
      CheckText(site::DecodeText(bytes, charset));
    answers.push_back(site::WhoisTextToUtf8(bytes));
    CheckText(answers.back());
    if (Plain(bytes) && answers.back() != bytes) Defect("plain UTF-8 text changed");
  }
  for (const std::string& text : answers) {
    if (const auto value = site::WhoisValue(text, key)) CheckValue(*value);
    CheckDomain(site::ReadWhoisDomain(text, asked));
    site::WhoisSaysNoMatch(text);
  }
  CheckTable(site::WhoisSummary(answers, site::WhoisKind::Domain, asked));
  CheckTable(site::WhoisSummary(answers, site::WhoisKind::Network));
  return 0;
}
