#include "hvx/studio/http/http_message.h"

#include <strings.h>

namespace {

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

}  // namespace

std::string HttpRequest::get_header_value(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) {
      return value;
    }
  }
  return "";
}

std::size_t HttpRequest::get_header_value_count(const std::string& name) const {
  std::size_t count = 0;
  for (const auto& header : headers) {
    count += sameName(header.first, name) ? 1U : 0U;
  }
  return count;
}

std::string HttpRequest::get_param_value(const std::string& name) const {
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) {
      end = query.size();
    }
    const std::string pair = query.substr(start, end - start);
    const std::size_t equals = pair.find('=');
    if (decodeQueryText(pair.substr(0, equals)) == name) {
      return equals == std::string::npos ? "" : decodeQueryText(pair.substr(equals + 1));
    }
    start = end + 1;
  }
  return "";
}

void HttpResponse::set_header(const std::string& name, const std::string& value) {
  for (auto& header : headers) {
    if (sameName(header.first, name)) {
      header.second = value;
      return;
    }
  }
  headers.emplace_back(name, value);
}

void HttpResponse::set_content(std::string content, const std::string& mediaType) {
  body = std::move(content);
  sharedBody.reset();
  set_header("Content-Type", mediaType);
}

void HttpResponse::set_shared_content(std::shared_ptr<const std::string> bytes,
                                      const std::string& mediaType) {
  body.clear();
  sharedBody = std::move(bytes);
  set_header("Content-Type", mediaType);
}

std::string decodeQueryText(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = i + 2 < text.size() && text[i] == '%' ? hexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
    if (low >= 0) {
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      decoded += text[i] == '+' ? ' ' : text[i];
    }
  }
  return decoded;
}
