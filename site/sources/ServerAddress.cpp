#include "sources/ServerAddress.h"

#include <boost/asio/ip/address.hpp>

namespace site {

void ServerEndpoints(Resolver& dns, const std::string& host, const std::string& port, EndpointsDone done) {
  using boost::asio::ip::tcp;
  const auto number = static_cast<unsigned short>(std::stoul(port));
  boost::system::error_code notLiteral;
  const auto literal = boost::asio::ip::make_address(host, notLiteral);
  if (!notLiteral) return done({tcp::endpoint(literal, number)}, {});
  dns.Query(host, DnsType::A, [number, done = std::move(done)](DnsAnswer answer) {
    if (!answer.Ok) return done({}, answer.Error);
    std::vector<tcp::endpoint> endpoints;
    for (const std::string& record : answer.Records) {
      boost::system::error_code bad;
      const auto address = boost::asio::ip::make_address_v4(record, bad);
      if (!bad) endpoints.emplace_back(address, number);
    }
    done(std::move(endpoints), endpoints.empty() ? "у сервера нет адреса IPv4" : "");
  });
}

}  // namespace site
