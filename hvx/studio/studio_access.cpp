#include "hvx/studio/studio_access.h"

#include <cstdio>
#include <utility>

namespace {

// Same time whatever the first differing byte, so that the token cannot be
// guessed byte by byte from response times.
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

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return "";
  }
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The value of `name` in a Cookie header ("a=1; b=2"), or empty.
std::string cookieValue(const std::string& header, const std::string& name) {
  std::size_t start = 0;
  while (start <= header.size()) {
    std::size_t end = header.find(';', start);
    if (end == std::string::npos) {
      end = header.size();
    }
    const std::string pair = trimmed(header.substr(start, end - start));
    const std::size_t equals = pair.find('=');
    if (equals != std::string::npos && pair.substr(0, equals) == name) {
      return pair.substr(equals + 1);
    }
    start = end + 1;
  }
  return "";
}

bool isWildcard(const std::string& address) {
  return address == "0.0.0.0" || address == "::" || address.empty();
}

}  // namespace

StudioAccess::StudioAccess(std::string token, std::vector<std::string> allowedHosts, int port)
    : token_(std::move(token)),
      cookieName_("hvx_studio_" + std::to_string(port)),
      allowedHosts_(std::move(allowedHosts)) {}

bool StudioAccess::hostAllowed(const std::string& hostHeader) const {
  for (const std::string& allowed : allowedHosts_) {
    if (hostHeader == allowed) {
      return true;
    }
  }
  return false;
}

bool StudioAccess::tokenPresented(const std::string& queryToken,
                                  const std::string& cookieHeader) const {
  return sameSecret(queryToken, token_) ||
         sameSecret(cookieValue(cookieHeader, cookieName_), token_);
}

std::string StudioAccess::cookie() const {
  return cookieName_ + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

std::string makeStudioToken() {
  constexpr std::size_t kTokenBytes = 16;  // 128 bits
  unsigned char bytes[kTokenBytes];
  std::FILE* random = std::fopen("/dev/urandom", "rb");
  if (random == nullptr) {
    return "";
  }
  const std::size_t got = std::fread(bytes, 1, kTokenBytes, random);
  std::fclose(random);
  if (got != kTokenBytes) {
    return "";
  }
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char byte : bytes) {
    token += kHex[byte >> 4];
    token += kHex[byte & 0x0F];
  }
  return token;
}

std::vector<std::string> hostNamesFor(const std::string& address, int port) {
  const std::string suffix = ":" + std::to_string(port);
  std::vector<std::string> names{"localhost" + suffix, "127.0.0.1" + suffix};
  if (!isWildcard(address) && address != "127.0.0.1" && address != "localhost") {
    const bool ipv6 = address.find(':') != std::string::npos;
    names.push_back((ipv6 ? "[" + address + "]" : address) + suffix);
  }
  return names;
}
