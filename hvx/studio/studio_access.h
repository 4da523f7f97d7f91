#pragma once

#include <string>
#include <vector>

// Who may talk to the studio: whoever holds the token printed at start, through
// a Host name that belongs to the address the server listens on.
class StudioAccess {
 public:
  // `token` is the secret of the printed address; `allowedHosts` are the
  // exact Host header values accepted ("127.0.0.1:8765", "localhost:8765").
  // The cookie is named after `port`: browsers share cookies between ports,
  // and two studios must not overwrite each other's.
  StudioAccess(std::string token, std::vector<std::string> allowedHosts, int port);

  // True when the Host header names this server. A page served under any
  // other name (DNS rebinding) is refused even with the right token.
  bool hostAllowed(const std::string& hostHeader) const;

  // True when the query token or the studio cookie matches the secret.
  bool tokenPresented(const std::string& queryToken, const std::string& cookieHeader) const;

  // The Set-Cookie value that lets the page's later requests in.
  std::string cookie() const;

  const std::string& token() const { return token_; }
  const std::string& cookieName() const { return cookieName_; }

 private:
  std::string token_;
  std::string cookieName_;
  std::vector<std::string> allowedHosts_;
};

// 128 random bits from the system's generator, as 32 hex digits. Empty when
// no randomness could be read.
std::string makeStudioToken();

// Host header values that name `address`:`port`: the loopback names always,
// and the address itself when it is a specific one. The last is the one to
// print.
std::vector<std::string> hostNamesFor(const std::string& address, int port);
