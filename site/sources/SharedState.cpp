#include "sources/ReportContext.h"

#include <nlohmann/json.hpp>

namespace site {

namespace {

std::size_t TextBytes(const std::string& text) { return sizeof text + text.capacity(); }

std::size_t AnswerBytes(const DnsAnswer& answer) {
  std::size_t bytes = sizeof answer + answer.Error.capacity();
  for (const std::string& record : answer.Records) bytes += TextBytes(record);
  return bytes;
}

// A parsed tree costs a node per value beside its strings; the parser's
// depth limit bounds the recursion.
std::size_t JsonBytes(const nlohmann::json& value) {
  std::size_t bytes = sizeof value;
  if (value.is_string()) bytes += TextBytes(value.get_ref<const std::string&>());
  if (value.is_object())
    for (const auto& [key, item] : value.items()) bytes += 64 + TextBytes(key) + JsonBytes(item);
  if (value.is_array())
    for (const auto& item : value) bytes += JsonBytes(item);
  return bytes;
}

}  // namespace

SharedState::SharedState(const Options& options)
    : Opts(options),
      Tls(boost::asio::ssl::context::tls_client),
      Records(options.CacheBytes / 2, TextBytes),
      Bootstraps(options.CacheBytes / 8, [](const std::shared_ptr<const nlohmann::json>& file) { return file ? JsonBytes(*file) : 0; }),
      Dns(options.CacheBytes - options.CacheBytes / 2 - options.CacheBytes / 8, AnswerBytes) {
  Tls.set_verify_mode(boost::asio::ssl::verify_peer);
  if (options.CaFile.empty()) Tls.set_default_verify_paths();
  else Tls.load_verify_file(options.CaFile);
}

}  // namespace site
