// One request as it reaches the studio: the bytes parsed as the server
// parses them, the head through the gate, the query decoded, the body read
// within the gate's limit. A refusal must be an error status with a sentence
// that closes the connection; a request let in must bring at most the body
// its route takes, and only a POST brings one.
#include <boost/asio/buffer.hpp>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hvx/studio/http/request_head.h"
#include "hvx/studio/http/studio_routes.h"
#include "hvx/studio/http/studio_server.h"

namespace {

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// The seeds carry this token, so that the fuzzer reaches past the gate.
StudioContext& context() {
  static StudioContext* const made = [] {
    auto* c = new StudioContext;
    c->access = std::make_unique<StudioAccess>("00112233445566778899aabbccddeeff",
                                               hostNamesFor("127.0.0.1", 8765));
    return c;
  }();
  return *made;
}

// Feeds `data` to the parser until it stops: done with what it wants, in
// need of more, or refusing. The bytes it took go from `data`.
bool feed(RequestParser& parser, const char*& data, std::size_t& size, bool wholeMessage) {
  boost::beast::error_code error;
  while (size > 0 && !(wholeMessage ? parser.is_done() : parser.is_header_done())) {
    const std::size_t used = parser.put(boost::asio::buffer(data, size), error);
    data += used;
    size -= used;
    if (error == boost::beast::http::error::need_more || used == 0) {
      return false;
    }
    if (error) {
      return false;
    }
  }
  return wholeMessage ? parser.is_done() : parser.is_header_done();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const char* data = reinterpret_cast<const char*>(bytes);
  RequestParser parser;
  prepareRequestParser(parser);
  parser.eager(false);
  if (!feed(parser, data, size, false)) {
    return 0;
  }
  HttpRequest request = requestHead(parser);
  HttpResponse response;
  std::size_t maxBody = 0;
  if (!admitStudioRequest(context(), request, response, maxBody)) {
    check(response.status >= 400 && response.status < 500);
    check(response.body.find("\"error\"") != std::string::npos);
    check(!response.headers.empty());
    return 0;
  }
  check(maxBody == 0 || request.method == "POST");
  check(maxBody <= kMaxUploadBytes);
  const std::string name = request.get_param_value("name");
  check(name.size() <= request.query.size());
  // The server refuses what the parser would read past the gate's limit.
  if (parser.chunked() || parser.content_length().value_or(0) > maxBody) {
    return 0;
  }
  parser.body_limit(maxBody);
  parser.eager(true);
  if (feed(parser, data, size, true) || parser.is_done()) {
    check(parser.get().body().size() <= maxBody);
  }
  return 0;
}
