#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A request as the studio's routes see it: whole, its body read. The names
// follow the handlers' use of them.
struct HttpRequest {
  std::string method;
  std::string path;                                          // the target before any '?', as sent
  std::string query;                                         // after the '?', still encoded
  std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
  std::string body;
  std::vector<std::string> matches;  // the route's captures, the whole path first

  // The first value of header `name` (any case), or "".
  std::string get_header_value(const std::string& name) const;
  std::size_t get_header_value_count(const std::string& name) const;
  bool has_header(const std::string& name) const { return get_header_value_count(name) > 0; }
  // The decoded value of query parameter `name`, or "".
  std::string get_param_value(const std::string& name) const;
};

// An answer: its body is either its own or bytes shared with a result, sent
// from where they are.
struct HttpResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::shared_ptr<const std::string> sharedBody;

  void set_header(const std::string& name, const std::string& value);
  void set_content(std::string content, const std::string& mediaType);
  void set_content(const char* data, std::size_t size, const std::string& mediaType) {
    set_content(std::string(data, size), mediaType);
  }
  void set_shared_content(std::shared_ptr<const std::string> bytes, const std::string& mediaType);
  // The bytes to send as the body.
  const std::string& content() const { return sharedBody ? *sharedBody : body; }
};

// `text` with %XX escapes and '+' decoded, as a form's query is written.
std::string decodeQueryText(const std::string& text);
