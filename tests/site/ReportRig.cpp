#include "ReportRig.h"

#include "sources/AresResolver.h"

#include <arpa/inet.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <gtest/gtest.h>
#include <thread>

namespace {

class TableResolver : public site::Resolver {
public:
  TableResolver(boost::asio::any_io_executor executor, const ReportRig& rig) : FExecutor(executor), FRig(rig) {}

  void Query(const std::string& name, site::DnsType type, site::DnsDone done) override {
    site::DnsAnswer answer;
    const auto it = FRig.Dns.find({name, type});
    if (it == FRig.Dns.end()) {
      answer.Error = "Domain name not found";
    } else {
      answer.Ok = true;
      answer.Records = it->second;
      answer.Ttl = 60;
    }
    boost::asio::post(FExecutor, [done = std::move(done), answer = std::move(answer)] { done(answer); });
  }

  void CancelAll() override {}

private:
  boost::asio::any_io_executor FExecutor;
  const ReportRig& FRig;
};

}  // namespace

site::Target TargetOf(const std::string& input) {
  site::Target target;
  target.Input = input;
  in_addr address{};
  in6_addr address6{};
  if (input.starts_with("AS")) target.As = static_cast<std::uint32_t>(std::stoul(input.substr(2)));
  else if (inet_pton(AF_INET, input.c_str(), &address) == 1) target.Ipv4 = ntohl(address.s_addr);
  else if (inet_pton(AF_INET6, input.c_str(), &address6) == 1) target.Ipv6 = boost::asio::ip::make_address_v6(input);
  else target.Domain = input;
  return target;
}

site::ReportResult ReportRig::Run(ReportFunction report, const std::string& input, std::chrono::milliseconds budget) {
  if (!FShared) FShared = std::make_unique<site::SharedState>(Opts);
  boost::asio::io_context io;
  const boost::asio::any_io_executor strand = boost::asio::make_strand(io);
  const std::shared_ptr<site::Resolver> resolver =
      Opts.Resolver.empty() ? std::make_shared<TableResolver>(strand, *this) : site::MakeResolver(strand, *FShared);
  const auto deadline = std::chrono::steady_clock::now() + budget;
  auto context = std::make_shared<site::ReportContext>(site::ReportContext{strand, *FShared, resolver, deadline});
  site::ReportResult result;
  FCalls = 0;
  boost::asio::post(strand, [&, context] {
    report(context, TargetOf(input), [&](site::ReportResult r) {
      ++FCalls;
      result = std::move(r);
    });
  });
  if (BusyAfterStart.count() > 0)
    boost::asio::post(strand, [busy = BusyAfterStart] { std::this_thread::sleep_for(busy); });
  context.reset();
  // A moment past the deadline: the report owes its end by then.
  while (FCalls == 0 && std::chrono::steady_clock::now() < deadline + std::chrono::milliseconds(200))
    io.run_one_for(std::chrono::milliseconds(20));
  EXPECT_EQ(FCalls, 1) << "the report must end by its deadline";
  // As the page does when it ends; whatever is still out winds down, and a second end would show here.
  boost::asio::post(strand, [resolver] { resolver->CancelAll(); });
  io.run_for(std::chrono::seconds(3));
  EXPECT_EQ(FCalls, 1) << "the report must end exactly once";
  return result;
}
