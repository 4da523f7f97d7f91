#include "hvx/studio/http/request_head.h"

#include <limits>

namespace {

constexpr std::uint32_t kHeadBytes = 16 << 10;

}  // namespace

void prepareRequestParser(RequestParser& parser) {
  parser.header_limit(kHeadBytes);
  // Not none: this Beast compares a stated length against an empty limit as
  // larger.
  parser.body_limit(std::numeric_limits<std::uint64_t>::max());
}

HttpRequest requestHead(const RequestParser& parser) {
  const auto& head = parser.get();
  HttpRequest request;
  request.method = std::string(head.method_string());
  const std::string target(head.target());
  const std::size_t question = target.find('?');
  request.path = target.substr(0, question);
  request.query = question == std::string::npos ? "" : target.substr(question + 1);
  for (const auto& field : head) {
    request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  return request;
}
