#include "server/ClientShares.h"

#include "base/Unmapped.h"

#include <utility>

namespace site {

ClientSlot::ClientSlot(ClientSlot&& other) noexcept
    : FOwner(std::exchange(other.FOwner, nullptr)), FClient(std::move(other.FClient)) {}

ClientSlot& ClientSlot::operator=(ClientSlot&& other) noexcept {
  if (this != &other) {
    Release();
    FOwner = std::exchange(other.FOwner, nullptr);
    FClient = std::move(other.FClient);
  }
  return *this;
}

ClientSlot::~ClientSlot() { Release(); }

void ClientSlot::Release() {
  if (FOwner) std::exchange(FOwner, nullptr)->Give(FClient);
}

ClientSlot ClientShares::Take(const std::string& client) {
  std::lock_guard lock(FMutex);
  std::size_t& held = FHeld[client];
  if (held >= FPerClient) return {};
  ++held;
  return ClientSlot(this, client);
}

void ClientShares::Give(const std::string& client) {
  std::lock_guard lock(FMutex);
  const auto it = FHeld.find(client);
  if (it != FHeld.end() && --it->second == 0) FHeld.erase(it);
}

std::string ClientKey(const boost::asio::ip::address& address) {
  const auto unmapped = Unmapped(address);
  if (unmapped.is_v4()) return unmapped.to_string();
  auto bytes = unmapped.to_v6().to_bytes();
  for (std::size_t i = 8; i < bytes.size(); ++i) bytes[i] = 0;
  return boost::asio::ip::address_v6(bytes).to_string() + "/64";
}

}  // namespace site
