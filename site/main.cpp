// tarnwell-site: the lookup service. Prints "listening on HOST:PORT" once it
// listens (and "metrics on HOST:PORT" when it serves /metrics), serves until SIGTERM or SIGINT, then exits 0.
#include "server/Listener.h"
#include "server/MetricsListener.h"
#include "base/OptionsParse.h"
#include "server/ServerState.h"
#include "sources/HostAddresses.h"
#include "sources/SourceOptions.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/signal_set.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <vector>

namespace {

// A handler that throws has failed its own request only: the loop goes on
// serving everyone else, and the failure goes to the log.
void Serve(boost::asio::io_context& io) {
  for (;;) {
    try {
      io.run();
      return;
    } catch (const std::exception& e) {
      std::cerr << "tarnwell-site: request failed: " << e.what() << "\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  site::ParsedOptions parsed;
  try {
    const char* config = std::getenv("TARNWELL_SITE_CONFIG");
    parsed = site::ParseOptions(argc, argv, config ? config : "");
    if (!parsed.HelpWanted) site::CheckSourceOptions(parsed.Values);
  } catch (const site::OptionsError& e) {
    std::cerr << "tarnwell-site: " << e.what() << "\n(tarnwell-site --help lists the options)\n";
    return 2;
  }
  if (parsed.HelpWanted) {
    std::cout << parsed.Help;
    return 0;
  }
  const site::Options& options = parsed.Values;
  // Refused at start, not met by the first lookup: a site that cannot tell
  // its own addresses would trace and scan them.
  try {
    site::LoadHostAddresses();
  } catch (const site::HostAddressesError& e) {
    std::cerr << "tarnwell-site: " << e.what() << "\n";
    return 2;
  }

  // Every connection is a descriptor; the usual soft limit of 1024 would cut
  // the connection limit short, so take what the hard limit allows.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  try {
    const unsigned threads = options.Threads ? options.Threads : std::max(1u, std::thread::hardware_concurrency());
    site::ServerState server(options, static_cast<int>(threads));
    boost::asio::io_context& io = server.Io;
    const boost::asio::ip::tcp::endpoint endpoint(boost::asio::ip::make_address(options.ListenAddress), options.ListenPort);
    auto listener = site::MakeListener(server, endpoint);
    listener->Start();
    std::shared_ptr<site::Acceptor> metrics;
    if (!options.MetricsAddress.empty()) {
      metrics = site::MakeMetricsListener(
          server, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address(options.MetricsAddress), options.MetricsPort));
      metrics->Start();
    }

    boost::asio::signal_set signals(io, SIGTERM, SIGINT);
    signals.async_wait([&](const boost::system::error_code&, int) {
      listener->Stop();
      if (metrics) metrics->Stop();
      io.stop();
    });

    const auto bound = listener->LocalEndpoint();
    std::printf("listening on %s:%u\n", bound.address().to_string().c_str(), static_cast<unsigned>(bound.port()));
    if (metrics) {
      const auto scraped = metrics->LocalEndpoint();
      std::printf("metrics on %s:%u\n", scraped.address().to_string().c_str(), static_cast<unsigned>(scraped.port()));
    }
    std::fflush(stdout);

    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads; ++i) workers.emplace_back([&io] { Serve(io); });
    Serve(io);
    for (auto& worker : workers) worker.join();
    // Pages in flight end here, with the loop stopped: their cancellation runs
    // once, on this thread, and nothing they start afterwards is waited for.
    server.Pages.CancelAll();
    io.restart();
    io.poll();
  } catch (const std::exception& e) {
    std::cerr << "tarnwell-site: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
