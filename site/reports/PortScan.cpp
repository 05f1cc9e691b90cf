#include "reports/ReportOnce.h"
#include "reports/Reports.h"
#include "reports/ServicePorts.h"
#include "sources/ErrorTexts.h"
#include "sources/TargetAddress.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace site {

namespace {

enum class PortState { Unprobed, Open, Closed, Filtered, Error };

std::string_view StateText(PortState state) {
  switch (state) {
    case PortState::Unprobed: return "не проверен";
    case PortState::Open: return "открыт";
    case PortState::Closed: return "закрыт";
    case PortState::Filtered: return "фильтруется";
    case PortState::Error: return "ошибка";
  }
  return "";
}

// A refusal means a host answered for that port; silence (our time-out, or
// the kernel's after its own retries) and unreachability both mean something
// in between drops the connection.
PortState StateOf(const boost::system::error_code& error) {
  namespace e = boost::asio::error;
  if (!error) return PortState::Open;
  if (error == e::connection_refused) return PortState::Closed;
  if (error == e::timed_out || error == e::host_unreachable || error == e::network_unreachable)
    return PortState::Filtered;
  return PortState::Error;
}

using Clock = std::chrono::steady_clock;
using Socket = boost::asio::ip::tcp::socket;
using Timer = boost::asio::steady_timer;

// Below this an answer late by a scheduler's whim would be taken for a drop; nmap's floor too.
constexpr Clock::duration kTimeoutFloor = std::chrono::milliseconds(100);
// The kernel sends a connection's SYN again after a second: a time-out past it
// has had its retry already, one before it gets a connection of its own again.
constexpr Clock::duration kKernelSynRetry = std::chrono::seconds(1);

// Round trips of the answers seen so far, smoothed as TCP does (RFC 6298).
class RoundTrips {
public:
  void Add(Clock::duration sample) {
    if (!FSmoothed) {
      FSmoothed = sample;
      FVariance = sample / 2;
      return;
    }
    const Clock::duration deviation = *FSmoothed > sample ? *FSmoothed - sample : sample - *FSmoothed;
    FVariance = (3 * FVariance + deviation) / 4;
    FSmoothed = (7 * *FSmoothed + sample) / 8;
  }
  // How long a port's silence lasts before it counts as dropped: the ceiling
  // until something has answered.
  Clock::duration Timeout(Clock::duration ceiling) const {
    if (!FSmoothed) return ceiling;
    return std::min(ceiling, std::max(kTimeoutFloor, *FSmoothed + 4 * FVariance));
  }

private:
  std::optional<Clock::duration> FSmoothed;
  Clock::duration FVariance{0};
};

// One port scan: finds the address, checks it may be probed, then connects to
// at most Options.ScanConcurrency ports at once. A port's time-out follows the
// round trips of the ports that answered, like nmap's, and is looked at anew
// whenever they change; a port that timed out before the kernel retried its
// SYN gets one more connection. The page's deadline stops whichever step is running.
class Scan : public std::enable_shared_from_this<Scan> {
public:
  Scan(std::shared_ptr<ReportContext> context, ReportDone done)
      : FContext(std::move(context)), FDone(std::move(done)), FDeadline(FContext->Executor), FSweep(FContext->Executor),
        FStart(Clock::now()) {}

  void Start(const Target& target) {
    FDeadline.expires_at(FContext->Deadline);
    FDeadline.async_wait([self = shared_from_this()](boost::system::error_code error) {
      if (!error) self->Finish(true);
    });
    // Posted: for an address FirstAddress answers at once, and `done` is never called from within PortScan.
    boost::asio::post(FContext->Executor, [self = shared_from_this(), target] {
      const bool named = !TargetIp(target);
      FirstAddress(self->FContext, target, [self, named](std::optional<boost::asio::ip::address> address, std::string reason) {
        self->Resolved(address, std::move(reason), named);
      });
    });
  }

private:
  struct Probe {
    explicit Probe(const boost::asio::any_io_executor& executor) : Connection(executor) {}
    Socket Connection;
    Clock::time_point Started;
    int Attempt = 0;
  };

  void Resolved(std::optional<boost::asio::ip::address> address, std::string reason, bool named) {
    if (!FDone) return;
    if (!address) return Fail(std::move(reason));
    if (!MayProbe(*address, FContext->Shared.Opts)) return Fail(PrivateRefusal(*address));
    FAddress = *address;
    FNote = "Адрес " + address->to_string() + (named ? " (" + FirstRecordNote(*address) + ")" : "");
    const Options& options = FContext->Shared.Opts;
    if (options.ScanPorts.empty())
      for (const ServicePort& entry : CommonServicePorts()) FPorts.push_back(entry.Port);
    else
      FPorts = options.ScanPorts;
    FStates.assign(FPorts.size(), PortState::Unprobed);
    FProbes.resize(FPorts.size());
    if (FPorts.empty()) return Finish(false);
    Launch();
  }

  void Launch() {
    // Nobody waits for the rest of a page that has ended: its probes are closed now.
    if (FContext->Ended) return Finish(true);
    const std::size_t limit = std::max<std::size_t>(1, FContext->Shared.Opts.ScanConcurrency);
    while (FDone && FActive < limit && FNext < FPorts.size()) Connect(FNext++);
  }

  void Connect(std::size_t index) {
    ++FActive;
    FProbes[index] = std::make_shared<Probe>(FContext->Executor);
    Attempt(index);
  }

  void Attempt(std::size_t index) {
    Probe& probe = *FProbes[index];
    probe.Started = Clock::now();
    const int attempt = probe.Attempt;
    const boost::asio::ip::tcp::endpoint peer(*FAddress, FPorts[index]);
    probe.Connection.async_connect(peer, [self = shared_from_this(), index, attempt](boost::system::error_code error) {
      self->Answered(index, attempt, error);
    });
    Arm();
  }

  void Answered(std::size_t index, int attempt, const boost::system::error_code& error) {
    // A time-out closed this connection already, and settled or retried its port.
    if (!FDone || !FProbes[index] || FProbes[index]->Attempt != attempt) return;
    const PortState state = StateOf(error);
    if (state == PortState::Error && !FLocalError) FLocalError = error;
    if (state == PortState::Open || state == PortState::Closed) FRoundTrips.Add(Clock::now() - FProbes[index]->Started);
    Settled(index, state);
  }

  Clock::duration Timeout() const { return FRoundTrips.Timeout(FContext->Shared.Opts.PortTimeout); }

  // One timer for every port: it fires when the longest-waiting one has waited out the time-out as it now stands.
  void Arm() {
    std::optional<Clock::time_point> oldest;
    for (const auto& probe : FProbes)
      if (probe && (!oldest || probe->Started < *oldest)) oldest = probe->Started;
    if (!oldest) {
      FSweep.cancel();
      FSweepAt.reset();
      return;
    }
    const Clock::time_point at = *oldest + Timeout();
    if (FSweepAt == at) return;
    FSweepAt = at;
    FSweep.expires_at(at);
    FSweep.async_wait([self = shared_from_this()](boost::system::error_code error) {
      if (!error) self->Sweep();
    });
  }

  void Sweep() {
    FSweepAt.reset();
    const Clock::duration timeout = Timeout();
    const Clock::time_point now = Clock::now();
    for (std::size_t index = 0; index < FProbes.size() && FDone; ++index) {
      const auto& probe = FProbes[index];
      if (!probe || now - probe->Started < timeout) continue;
      boost::system::error_code ignored;
      probe->Connection.close(ignored);
      if (probe->Attempt == 0 && timeout < kKernelSynRetry) {
        ++probe->Attempt;
        Attempt(index);
      } else {
        Settled(index, PortState::Filtered);
      }
    }
    if (FDone) Arm();
  }

  void Settled(std::size_t index, PortState state) {
    if (auto probe = std::exchange(FProbes[index], nullptr)) {
      boost::system::error_code ignored;
      probe->Connection.close(ignored);
    }
    FStates[index] = state;
    --FActive;
    ++FSettled;
    if (FSettled == FPorts.size()) return Finish(false);
    Launch();
    Arm();
  }

  void Finish(bool timedOut) {
    if (!FDone) return;
    ReportResult result = Result();
    if (timedOut) {
      result.State = Outcome::TimedOut;
      result.Reason = FAddress ? "Проверено " + std::to_string(FSettled) + " из " + std::to_string(FPorts.size()) + " портов"
                               : "Адрес домена не определён";
    }
    Deliver(std::move(result));
  }

  void Fail(std::string reason) {
    ReportResult result;
    result.State = Outcome::Failed;
    result.Reason = std::move(reason);
    Deliver(std::move(result));
  }

  void Deliver(ReportResult result) {
    FDeadline.cancel();
    FSweep.cancel();
    for (auto& probe : FProbes) {
      if (!probe) continue;
      boost::system::error_code ignored;
      probe->Connection.close(ignored);
      probe.reset();
    }
    result.Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - FStart);
    std::exchange(FDone, nullptr)(std::move(result));
  }

  ReportResult Result() const {
    ReportResult result;
    if (!FAddress) return result;
    result.Note = FNote;
    result.Summary.Head = {"Порт", "Служба"};
    std::size_t counts[5] = {};
    for (std::size_t i = 0; i < FPorts.size(); ++i) {
      const std::string port = std::to_string(FPorts[i]) + "/tcp";
      const std::string service(ServiceName(FPorts[i]));
      ++counts[static_cast<int>(FStates[i])];
      if (FStates[i] == PortState::Open) result.Summary.Rows.push_back({port, service});
      std::string line = port;
      line.resize(std::max<std::size_t>(line.size() + 1, 10), ' ');
      line += StateText(FStates[i]);
      result.Raw += line + (service.empty() ? "" : "  " + service) + "\n";
    }
    result.Raw += "\nОткрыто: " + std::to_string(counts[static_cast<int>(PortState::Open)]) +
                  ", закрыто: " + std::to_string(counts[static_cast<int>(PortState::Closed)]) +
                  ", фильтруется: " + std::to_string(counts[static_cast<int>(PortState::Filtered)]) + "\n";
    const std::size_t answered = counts[static_cast<int>(PortState::Open)] + counts[static_cast<int>(PortState::Closed)] +
                                 counts[static_cast<int>(PortState::Filtered)];
    // Ports this machine could not even try are not ports found closed: with
    // none tried, the scan has no result at all.
    if (FLocalError && answered == 0) {
      result.State = Outcome::Failed;
      result.Reason = "Ни один порт не проверен: " + SystemErrorText(FLocalError.value());
    } else if (FLocalError) {
      result.Reason = "Часть портов не проверена: " + SystemErrorText(FLocalError.value());
    } else if (result.Summary.Rows.empty()) {
      result.Reason = "Открытых портов не найдено";
    }
    return result;
  }

  std::shared_ptr<ReportContext> FContext;
  ReportDone FDone;
  Timer FDeadline;
  Timer FSweep;
  std::optional<Clock::time_point> FSweepAt;  // when FSweep fires, while it waits
  Clock::time_point FStart;
  RoundTrips FRoundTrips;
  std::optional<boost::asio::ip::address> FAddress;
  std::string FNote;
  std::vector<std::uint16_t> FPorts;
  std::vector<PortState> FStates;
  std::vector<std::shared_ptr<Probe>> FProbes;
  std::size_t FNext = 0, FActive = 0, FSettled = 0;
  boost::system::error_code FLocalError;  // the first probe this machine could not make
};

}  // namespace

void PortScan(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done) {
  if (target.As) {
    ReportResult result;
    result.Note = "Порты сканируются у адреса или домена; у автономной системы нет одного адреса.";
    return ReportOnce::Start(context, std::move(done))->Finish(std::move(result));
  }
  std::make_shared<Scan>(std::move(context), std::move(done))->Start(target);
}

}  // namespace site
