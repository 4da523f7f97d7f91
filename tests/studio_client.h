#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// A blocking HTTP client for the studio's tests: one request per connection,
// each given up after 10 s.
using Headers = std::vector<std::pair<std::string, std::string>>;

struct Reply {
  int status = 0;
  std::string body;
  Headers headers;
  bool has_header(const std::string& name) const;
  std::string get_header_value(const std::string& name) const;
};
// Empty when the server could not be reached or gave no whole answer.
using Result = std::optional<Reply>;

class StudioClient {
 public:
  explicit StudioClient(int port) : port_(port) {}
  // Sent with every request, unless a request's own headers name them.
  void setDefaultHeaders(Headers headers) { defaults_ = std::move(headers); }
  Result Get(const std::string& path, const Headers& headers = {}) const;
  Result Post(const std::string& path, const std::string& body, const std::string& type) const {
    return Post(path, {}, body, type);
  }
  Result Post(const std::string& path, const Headers& headers, const std::string& body,
              const std::string& type) const;

 private:
  Result send(const std::string& method, const std::string& path, const Headers& headers,
              const std::string* body, const std::string& type) const;
  int port_;
  Headers defaults_;
};
