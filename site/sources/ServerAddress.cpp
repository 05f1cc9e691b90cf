#include "sources/ServerAddress.h"

#include <boost/asio/ip/address.hpp>

namespace site {

namespace {

std::vector<boost::asio::ip::tcp::endpoint> Endpoints(const DnsAnswer& answer, unsigned short port) {
  std::vector<boost::asio::ip::tcp::endpoint> endpoints;
  for (const std::string& record : answer.Records) {
    boost::system::error_code bad;
    const auto address = boost::asio::ip::make_address(record, bad);
    if (!bad) endpoints.emplace_back(address, port);
  }
  return endpoints;
}

}  // namespace

void ServerEndpoints(Resolver& dns, const std::string& host, const std::string& port, EndpointsDone done) {
  using boost::asio::ip::tcp;
  const auto number = static_cast<unsigned short>(std::stoul(port));
  boost::system::error_code notLiteral;
  const auto literal = boost::asio::ip::make_address(host, notLiteral);
  if (!notLiteral) return done({tcp::endpoint(literal, number)}, {});
  // IPv4 first, as the pages' other lookups; IPv6 for a server that has no IPv4 address.
  dns.Query(host, DnsType::A, [&dns, host, number, done = std::move(done)](DnsAnswer answer) {
    if (!answer.Ok) return done({}, answer.Error);
    std::vector<tcp::endpoint> endpoints = Endpoints(answer, number);
    if (!endpoints.empty()) return done(std::move(endpoints), {});
    dns.Query(host, DnsType::AAAA, [number, done](DnsAnswer answer) {
      if (!answer.Ok) return done({}, answer.Error);
      std::vector<tcp::endpoint> endpoints = Endpoints(answer, number);
      done(std::move(endpoints), endpoints.empty() ? "у сервера нет ни адреса IPv4, ни адреса IPv6" : "");
    });
  });
}

}  // namespace site
