// A registry's RDAP answer in any bytes: the summaries made of it are
// label/value rows of UTF-8, and the registrar's record it may link is an
// https address that is not the answer's own.
#include "FuzzSupport.h"
#include "sources/RdapJson.h"

namespace {

void CheckTable(const site::Table& table) {
  for (const auto& row : table.Rows) {
    if (row.size() != 2) Defect("summary row without a label and a value");
    for (const std::string& cell : row)
      if (!IsUtf8(cell)) Defect("summary cell not UTF-8");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto answer = site::ParseRdapJson(std::string(reinterpret_cast<const char*>(data), size));
  if (!answer) return 0;
  if (!answer->is_object()) Defect("an answer that is not an object");
  site::Table domain = site::DomainSummary(*answer);
  const site::Table network = site::NetworkSummary(*answer);
  CheckTable(domain);
  CheckTable(network);
  const size_t before = domain.Rows.size();
  site::FillMissingRows(domain, network);
  if (domain.Rows.size() < before) Defect("filling rows lost some");
  if (const auto link = site::RegistrarLink(*answer)) {
    if (!link->starts_with("https://")) Defect("registrar link not https: " + *link);
    if (!IsUtf8(*link)) Defect("registrar link not UTF-8");
  }
  return 0;
}
