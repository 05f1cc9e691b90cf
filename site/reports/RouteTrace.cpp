// The route to the target: three probes per TTL, hop after hop without
// waiting for answers, then each hop's reverse name and origin AS looked up at once.

#include "sources/AsZone.h"
#include "sources/ErrorTexts.h"
#include "reports/ReportOnce.h"
#include "reports/Reports.h"
#include "sources/TargetAddress.h"
#include "sources/TraceProbe.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdio>
#include <map>
#include <optional>
#include <system_error>

namespace site {

namespace {

constexpr int kMaxHops = 30;
constexpr int kProbesPerHop = 3;

struct HopNames {
  std::string Host;
  std::string AsNumber;
  std::string AsName;
};

// To the microsecond, as the kernel's stamps measure it.
std::string Milliseconds(std::chrono::microseconds time) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(time.count()) / 1000.0);
  return text;
}

std::string SendFailure(const std::system_error& error) {
  return "Не удалось отправить пробный пакет: " + SystemErrorText(error.code().value());
}

class Trace : public std::enable_shared_from_this<Trace> {
public:
  Trace(std::shared_ptr<ReportContext> context, const boost::asio::ip::address& target, std::string note,
        std::shared_ptr<ReportOnce> once)
      : FContext(std::move(context)), FTarget(target), FNote(std::move(note)), FOnce(std::move(once)), FTimer(FContext->Executor) {}

  void Start() {
    FMethod = AvailableProbeMethod(FTarget);
    FTimer.expires_at(std::min(FContext->Deadline, std::chrono::steady_clock::now() + FContext->Shared.Opts.ProbeTimeout));
    FTimer.async_wait([self = shared_from_this()](boost::system::error_code error) {
      if (!error) self->ProbesEnded();
    });
    SendHop(1);
  }

private:
  // One hop's probes per turn of the event loop: answers already in are read
  // between hops, and no hop past an answering destination is probed.
  void SendHop(int ttl) {
    if (FProbesEnded || FOnce->Finished() || FContext->Ended || (FLastHop && ttl > *FLastHop)) return;
    for (int n = 0; n < kProbesPerHop; ++n) {
      const int index = (ttl - 1) * kProbesPerHop + n;
      auto probe = std::make_shared<TraceProbe>(FContext->Executor);
      FProbes.push_back(probe);
      try {
        probe->Send(FMethod, FTarget, ttl, static_cast<std::uint16_t>(index),
                    [self = shared_from_this(), index](const ProbeReply& reply) { self->Answered(index, reply); });
      } catch (const std::system_error& error) {
        FProbesEnded = true;
        FTimer.cancel();
        CancelProbes();
        return FOnce->Finish(FailedResult(SendFailure(error)));
      }
    }
    if (ttl < kMaxHops)
      boost::asio::post(FContext->Executor, [self = shared_from_this(), ttl] { self->SendHop(ttl + 1); });
  }

  void Answered(int index, const ProbeReply& reply) {
    if (FOnce->Finished() || FProbesEnded) return;
    FReplies[index] = reply;
    const int ttl = index / kProbesPerHop + 1;
    if (reply.End != ProbeEnd::Transit && (!FLastHop || ttl < *FLastHop)) FLastHop = ttl;
    if (FLastHop && AllAnsweredUpTo(*FLastHop)) ProbesEnded();
  }

  bool AllAnsweredUpTo(int lastHop) const {
    for (int index = 0; index < lastHop * kProbesPerHop; ++index)
      if (!FReplies.contains(index)) return false;
    return true;
  }

  void CancelProbes() {
    for (auto& probe : FProbes) probe->Cancel();
    FProbes.clear();
  }

  void ProbesEnded() {
    if (FProbesEnded) return;
    FProbesEnded = true;
    FTimer.cancel();
    CancelProbes();
    // The page's budget may have ended the report, or its client the page, meanwhile: no lookups after it.
    if (FOnce->Finished() || FContext->Ended) return;
    int hops = FLastHop.value_or(0);
    if (!FLastHop)
      for (const auto& [index, reply] : FReplies) hops = std::max(hops, index / kProbesPerHop + 1);
    FHopCount = hops;
    for (const auto& [index, reply] : FReplies)
      if (index < hops * kProbesPerHop) FNames.try_emplace(reply.From);
    // One count for the loop itself, so that answers given at once cannot end the lookups half-way.
    FPending = 1;
    for (auto& [address, names] : FNames) LookUp(address);
    LookedUp();
  }

  void LookUp(const boost::asio::ip::address& address) {
    auto& dns = *FContext->Dns;
    const auto& options = FContext->Shared.Opts;
    FPending += 2;
    dns.Query(address.to_string(), DnsType::PTR, [self = shared_from_this(), address](DnsAnswer answer) {
      if (answer.Ok) self->FNames[address].Host = HostNameOf(answer.Records);
      self->LookedUp();
    });
    dns.Query(AsOriginQuery(address, options.AsZone), DnsType::TXT, [self = shared_from_this(), address](DnsAnswer answer) {
      const std::string number = answer.Ok ? AsNumberOf(answer.Records) : std::string{};
      if (!number.empty()) {
        self->FNames[address].AsNumber = number;
        ++self->FPending;
        self->FContext->Dns->Query(AsNameQuery(number, self->FContext->Shared.Opts.AsNameZone), DnsType::TXT,
                                   [self, address](DnsAnswer name) {
                                     if (name.Ok) self->FNames[address].AsName = AsNameOf(name.Records);
                                     self->LookedUp();
                                   });
      }
      self->LookedUp();
    });
  }

  void LookedUp() {
    if (--FPending == 0) Finish();
  }

  void Finish() {
    if (FOnce->Finished()) return;
    ReportResult result;
    result.Summary.Head = {"Хоп", "Адрес", "Имя", "AS", "Время, мс"};
    result.Note = FNote;
    result.Raw = "Трассировка до " + FTarget.to_string() + ", не более " + std::to_string(kMaxHops) + " хопов, " +
                 (FMethod == ProbeMethod::Icmp ? (FTarget.is_v6() ? "эхо-запросы ICMPv6" : "эхо-запросы ICMP") : "пакеты UDP") + "\n";
    for (int ttl = 1; ttl <= FHopCount; ++ttl) AddHop(result, ttl);
    if (FReplies.empty()) {
      // Not a route of silent hops: nothing came back at all.
      result.State = Outcome::TimedOut;
      result.Reason = "Ни один узел на пути не ответил";
    } else if (!FLastHop) {
      result.Reason = "Адрес назначения не ответил";
    }
    FOnce->Finish(std::move(result));
  }

  void AddHop(ReportResult& result, int ttl) {
    std::vector<boost::asio::ip::address> addresses;
    std::string times, flag;
    for (int n = 0; n < kProbesPerHop; ++n) {
      const auto it = FReplies.find((ttl - 1) * kProbesPerHop + n);
      if (!times.empty()) times += "  ";
      if (it == FReplies.end()) {
        times += "*";
        continue;
      }
      times += Milliseconds(it->second.RoundTrip);
      if (std::find(addresses.begin(), addresses.end(), it->second.From) == addresses.end()) addresses.push_back(it->second.From);
      if (!it->second.Flag.empty()) flag = it->second.Flag;
    }
    std::string address, host, as;
    for (const auto& a : addresses) {
      const HopNames& names = FNames[a];
      address += (address.empty() ? "" : ", ") + a.to_string();
      if (!names.Host.empty()) host += (host.empty() ? "" : ", ") + names.Host;
      if (as.empty() && !names.AsNumber.empty()) as = "AS" + names.AsNumber + (names.AsName.empty() ? "" : " " + names.AsName);
    }
    if (!flag.empty()) times += " " + flag;
    result.Summary.Rows.push_back({std::to_string(ttl), address.empty() ? "*" : address, host, as, times});
    char number[16];
    std::snprintf(number, sizeof number, "%2d  ", ttl);
    result.Raw += number + (address.empty() ? "*" : address) + (host.empty() ? "" : " (" + host + ")") +
                  (as.empty() ? "" : " [" + as + "]") + "  " + times + "\n";
  }

  std::shared_ptr<ReportContext> FContext;
  boost::asio::ip::address FTarget;
  std::string FNote;  // which address of a domain is traced
  std::shared_ptr<ReportOnce> FOnce;
  boost::asio::steady_timer FTimer;
  ProbeMethod FMethod = ProbeMethod::Udp;
  std::vector<std::shared_ptr<TraceProbe>> FProbes;
  std::map<int, ProbeReply> FReplies;  // by probe index: (ttl - 1) * 3 + n
  std::optional<int> FLastHop;         // the first TTL that got an answer other than "time exceeded"
  bool FProbesEnded = false;
  int FHopCount = 0;
  std::map<boost::asio::ip::address, HopNames> FNames;
  int FPending = 0;
};

}  // namespace

void RouteTrace(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done) {
  auto once = ReportOnce::Start(context, std::move(done));
  if (target.As) {
    ReportResult result;
    result.Note = "Трассировка ведётся до адреса или домена; у автономной системы нет одного адреса.";
    return once->Finish(std::move(result));
  }
  const bool named = !TargetIp(target);
  FirstAddress(context, target, [context, once, named](std::optional<boost::asio::ip::address> address, std::string reason) {
    if (once->Finished()) return;
    if (!address) return once->Finish(FailedResult(reason));
    if (!MayProbe(*address, context->Shared.Opts)) return once->Finish(FailedResult(PrivateRefusal(*address)));
    // A mapped address is reached over IPv4, and its hops answer there.
    if (address->is_v6() && address->to_v6().is_v4_mapped())
      address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address->to_v6());
    const std::string note = named ? "Адрес " + address->to_string() + " (" + FirstRecordNote(*address) + ")" : std::string{};
    std::make_shared<Trace>(context, *address, note, once)->Start();
  });
}

}  // namespace site
