#pragma once
// One page's surroundings for the resolver and report tests: an io_context
// run on the test's thread, a strand, the options and the process-wide state.

#include "sources/AresResolver.h"
#include "reports/Reports.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/strand.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class NetHarness {
public:
  site::Options Opts;
  boost::asio::io_context Io;
  boost::asio::strand<boost::asio::io_context::executor_type> Strand = boost::asio::make_strand(Io);

  // Made on first use, so that a test sets Opts first.
  site::SharedState& Shared() {
    if (!FShared) FShared = std::make_unique<site::SharedState>(Opts);
    return *FShared;
  }

  std::shared_ptr<site::Resolver> NewResolver() { return site::MakeResolver(Strand, Shared()); }

  std::shared_ptr<site::ReportContext> Context(std::chrono::milliseconds budget = std::chrono::seconds(10)) {
    return std::make_shared<site::ReportContext>(
        site::ReportContext{Strand, Shared(), NewResolver(), std::chrono::steady_clock::now() + budget});
  }

  // Runs the loop until `finished` holds or `bound` passes; true when it held.
  bool RunUntil(const std::function<bool()>& finished, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!finished() && std::chrono::steady_clock::now() < end) {
      if (Io.stopped()) Io.restart();
      Io.run_one_for(std::chrono::milliseconds(20));
    }
    return finished();
  }

  std::optional<site::DnsAnswer> Ask(site::Resolver& resolver, const std::string& name, site::DnsType type) {
    std::optional<site::DnsAnswer> answer;
    boost::asio::post(Strand, [&] { resolver.Query(name, type, [&](site::DnsAnswer a) { answer = std::move(a); }); });
    RunUntil([&] { return answer.has_value(); });
    return answer;
  }

  using Report = void (*)(std::shared_ptr<site::ReportContext>, const site::Target&, site::ReportDone);

  // Runs one report to its end; counts its `done` calls into `calls` when given.
  std::optional<site::ReportResult> Run(Report report, const site::Target& target,
                                        std::chrono::milliseconds budget = std::chrono::seconds(10),
                                        int* calls = nullptr) {
    std::optional<site::ReportResult> result;
    auto context = Context(budget);
    boost::asio::post(Strand, [&, context] {
      report(context, target, [&](site::ReportResult r) {
        result = std::move(r);
        if (calls) ++*calls;
      });
    });
    RunUntil([&] { return result.has_value(); }, budget + std::chrono::seconds(10));
    // As the page does when it ends: queries still out hold the report, which holds the context.
    boost::asio::post(Strand, [context] { context->End(); });
    RunUntil([&] { return context.use_count() == 1; }, std::chrono::seconds(5));
    return result;
  }

private:
  std::unique_ptr<site::SharedState> FShared;
};

inline site::Target DomainTarget(const std::string& name) { return {name, name, {}, {}, {}}; }

inline site::Target AddressTarget(std::uint32_t address, const std::string& text) { return {text, "", address, {}, {}}; }

inline site::Target Ipv6Target(const std::string& text) { return {text, "", {}, boost::asio::ip::make_address_v6(text), {}}; }
