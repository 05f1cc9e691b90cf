#pragma once
// The registration-record and DNS caches as every instance of the site sees
// them: the process's own first, then Redis, when the service has one. What
// one instance fetched is stored in both, with its TTL, so the next instance
// asked finds it without a registry query. Without Redis, or when it fails to
// answer in time, only the process's own cache is asked, as on one machine.

#include "sources/ReportContext.h"

#include <boost/asio/any_io_executor.hpp>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace site {

// `done` is called at once on a local hit and when there is no Redis; else on `executor`.
void FindRecord(SharedState& shared, const boost::asio::any_io_executor& executor, const std::string& key,
                std::function<void(std::optional<std::string>)> done);
void StoreRecord(SharedState& shared, const std::string& key, const std::string& record, std::chrono::seconds ttl);

void FindDns(SharedState& shared, const boost::asio::any_io_executor& executor, const std::string& key,
             std::function<void(std::optional<DnsAnswer>)> done);
void StoreDns(SharedState& shared, const std::string& key, const DnsAnswer& answer, std::chrono::seconds ttl);

// A DNS answer as one string and back; nothing when the text is not one.
std::string EncodeDnsAnswer(const DnsAnswer& answer);
std::optional<DnsAnswer> DecodeDnsAnswer(const std::string& text);

}  // namespace site
