#pragma once

#include <string>
#include <vector>

// Who may talk to the studio: whoever holds the token printed at start, from
// a page of this server's own origin. The token travels only in a request
// header the page's script sets, never in a cookie: browsers share cookies
// between the ports of one host, so a cookie would reach any local page.
class StudioAccess {
 public:
  // `token` is the secret of the printed address; `allowedHosts` are the
  // exact Host header values accepted ("127.0.0.1:8765", "localhost:8765").
  StudioAccess(std::string token, std::vector<std::string> allowedHosts);

  // True when the Host header names this server. A page served under any
  // other name (DNS rebinding) is refused even with the right token.
  bool hostAllowed(const std::string& hostHeader) const;

  // True when the token header holds the secret.
  bool tokenPresented(const std::string& tokenHeader) const;

  // True when `originHeader` is this server's own origin under `hostHeader`
  // (already allowed): a request with side effects must come from the
  // studio's page, not from a form or script of another local port.
  bool sameOrigin(const std::string& originHeader, const std::string& hostHeader) const;

  const std::string& token() const { return token_; }

 private:
  std::string token_;
  std::vector<std::string> allowedHosts_;
};

// The header that carries the token.
constexpr const char* kTokenHeader = "X-Studio-Token";

// `bytes` random bytes from the system's generator, as hex digits. Empty when
// no randomness could be read. Tokens and the ids of pictures and results.
std::string randomHex(std::size_t bytes);

// 128 random bits, as 32 hex digits. Empty when no randomness could be read.
std::string makeStudioToken();

// Host header values that name `address`:`port`: the loopback names always,
// and the address itself when it is a specific one. The last is the one to
// print.
std::vector<std::string> hostNamesFor(const std::string& address, int port);

// Equal strings, compared in a time that depends only on their lengths, so
// that a secret cannot be found byte by byte from response times.
bool sameSecret(const std::string& given, const std::string& secret);
