#pragma once
// Each client address's share of a pool (connections, pages in flight), so
// that no one address can take every slot and lock everyone else out.

#include <boost/asio/ip/address.hpp>

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace site {

class ClientShares;

// One slot of a client's share, given back when it goes; empty when the share was taken.
class ClientSlot {
public:
  ClientSlot() = default;
  ClientSlot(ClientSlot&& other) noexcept;
  ClientSlot& operator=(ClientSlot&& other) noexcept;
  ~ClientSlot();
  explicit operator bool() const { return FOwner != nullptr; }

private:
  friend class ClientShares;
  ClientSlot(ClientShares* owner, std::string client) : FOwner(owner), FClient(std::move(client)) {}
  void Release();

  ClientShares* FOwner = nullptr;
  std::string FClient;
};

class ClientShares {
public:
  explicit ClientShares(std::size_t perClient) : FPerClient(perClient) {}

  // A slot of `client`'s share, or an empty one when all of its share is in use.
  ClientSlot Take(const std::string& client);

private:
  friend class ClientSlot;
  void Give(const std::string& client);

  std::mutex FMutex;
  // Only clients holding a slot are kept, so the table is never longer than the pool.
  std::unordered_map<std::string, std::size_t> FHeld;
  const std::size_t FPerClient;
};

// The key of a client's shares and rate: its IPv4 address (also when mapped
// into IPv6), or the /64 of an IPv6 one, which one subscriber usually holds whole.
std::string ClientKey(const boost::asio::ip::address& address);

}  // namespace site
