#include "hvx/studio/http/studio_access.h"

#include <sys/random.h>

#include <cerrno>
#include <utility>

namespace {

bool isWildcard(const std::string& address) {
  return address == "0.0.0.0" || address == "::" || address.empty();
}

}  // namespace

bool sameSecret(const std::string& given, const std::string& secret) {
  if (given.size() != secret.size() || secret.empty()) {
    return false;
  }
  unsigned char difference = 0;
  for (std::size_t i = 0; i < secret.size(); ++i) {
    difference = static_cast<unsigned char>(difference | (given[i] ^ secret[i]));
  }
  return difference == 0;
}

StudioAccess::StudioAccess(std::string token, std::vector<std::string> allowedHosts)
    : token_(std::move(token)), allowedHosts_(std::move(allowedHosts)) {}

bool StudioAccess::hostAllowed(const std::string& hostHeader) const {
  bool allowed = false;
  for (const std::string& name : allowedHosts_) {
    allowed = sameSecret(hostHeader, name) || allowed;
  }
  return allowed;
}

bool StudioAccess::tokenPresented(const std::string& tokenHeader) const {
  return sameSecret(tokenHeader, token_);
}

bool StudioAccess::sameOrigin(const std::string& originHeader,
                              const std::string& hostHeader) const {
  return hostAllowed(hostHeader) && sameSecret(originHeader, "http://" + hostHeader);
}

std::string randomHex(std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    const ssize_t read = ::getrandom(&bytes[got], count - got, 0);
    if (read < 0 && errno == EINTR) {
      continue;
    }
    if (read <= 0) {
      return "";
    }
    got += static_cast<std::size_t>(read);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

std::string makeStudioToken() { return randomHex(16); }

std::vector<std::string> hostNamesFor(const std::string& address, int port) {
  const std::string suffix = ":" + std::to_string(port);
  std::vector<std::string> names{"localhost" + suffix, "127.0.0.1" + suffix};
  if (!isWildcard(address) && address != "127.0.0.1" && address != "localhost") {
    const bool ipv6 = address.find(':') != std::string::npos;
    names.push_back((ipv6 ? "[" + address + "]" : address) + suffix);
  }
  return names;
}
