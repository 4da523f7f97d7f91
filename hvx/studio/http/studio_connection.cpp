#include "hvx/studio/http/studio_connection.h"

#include <strings.h>

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/span_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/optional.hpp>
#include <chrono>
#include <memory>

#include "hvx/studio/http/request_head.h"
#include "hvx/studio/http/studio_routes.h"
#include "hvx/studio/http/studio_server.h"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {

// A request, head and body, must arrive whole this soon after the server
// starts waiting for it: a client that trickles its bytes is dropped then,
// whatever it sends meanwhile. Loopback clients take milliseconds.
constexpr auto kRequestTime = std::chrono::seconds(5);
// An answer, a preview of megabytes included, must be taken this soon.
constexpr auto kAnswerTime = std::chrono::seconds(30);
constexpr int kRequestsPerConnection = 100;
// Bodies held at once, being read or answered: four of the largest uploads.
constexpr std::size_t kBodyBytesAtOnce = 4 * kMaxUploadBytes;

bool sameWord(const std::string& text, const char* word) {
  return ::strcasecmp(text.c_str(), word) == 0;
}

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(net::ip::tcp::socket socket, const ConnectionServices& services)
      : stream_(std::move(socket)), services_(services) {}
  ~Connection() {
    releaseBody();
    services_.open->fetch_sub(1);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void readHead() {
    parser_.emplace();
    prepareRequestParser(*parser_);
    stream_.expires_after(kRequestTime);
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->onHead(error); });
  }

 private:
  void onHead(beast::error_code error) {
    if (error) {
      unreadable(error);
      return;
    }
    request_ = requestHead(*parser_);
    response_ = HttpResponse{};
    std::size_t maxBody = 0;
    if (!admitStudioRequest(*services_.context, request_, response_, maxBody)) {
      send(false);
      return;
    }
    // Only a POST within its route's rule brings a body.
    if (parser_->chunked() || parser_->content_length().value_or(0) > maxBody) {
      refuseUnreadable(response_, 400);
      send(false);
      return;
    }
    if (!reserveBody(maxBody)) {
      response_.set_header("Retry-After", "1");
      refuseUnreadable(response_, 503);
      send(false);
      return;
    }
    parser_->body_limit(maxBody);
    if (sameWord(request_.get_header_value("Expect"), "100-continue") && !parser_->is_done()) {
      static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
      net::async_write(stream_, net::buffer(kContinue, sizeof kContinue - 1),
                       [self = shared_from_this()](beast::error_code failed, std::size_t) {
                         failed ? self->close() : self->readBody();
                       });
      return;
    }
    readBody();
  }

  void readBody() {
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->onBody(error); });
  }

  void onBody(beast::error_code error) {
    if (error) {
      unreadable(error);
      return;
    }
    request_.body = std::move(parser_->get().body());
    keepAlive_ = parser_->keep_alive();
    parser_.reset();
    stream_.expires_never();
    net::post(answerMayRender(request_) ? *services_.renderWorkers : *services_.workers,
              [self = shared_from_this()] {
                answerStudioRequest(*self->services_.context, self->request_, self->response_);
                net::post(self->stream_.get_executor(), [self] { self->send(self->keepAlive_); });
              });
  }

  // A request that broke off or broke the rules: a rule broken is answered,
  // a client gone or too slow is not.
  void unreadable(beast::error_code error) {
    if (error == http::error::end_of_stream || error == beast::error::timeout ||
        error == net::error::operation_aborted || error == net::error::connection_reset ||
        error == net::error::eof) {
      close();
      return;
    }
    response_ = HttpResponse{};
    refuseUnreadable(response_, error == http::error::body_limit ? 413 : 400);
    send(false);
  }

  void send(bool keepAlive) {
    request_ = HttpRequest{};
    const bool closing = sameWord(requestedClose(), "close");
    keepAlive = keepAlive && !closing && ++served_ < kRequestsPerConnection;
    message_ = {};
    message_.result(static_cast<unsigned>(response_.status));
    for (const auto& [name, value] : response_.headers) {
      message_.set(name, value);
    }
    const std::string& content = response_.content();
    message_.body() = http::span_body<const char>::value_type(content.data(), content.size());
    message_.keep_alive(keepAlive);
    message_.prepare_payload();
    stream_.expires_after(kAnswerTime);
    http::async_write(stream_, message_,
                      [self = shared_from_this(), keepAlive](beast::error_code error, std::size_t) {
                        self->onSent(error, keepAlive);
                      });
  }

  void onSent(beast::error_code error, bool keepAlive) {
    response_ = HttpResponse{};
    releaseBody();
    if (error || !keepAlive) {
      close();
      return;
    }
    readHead();
  }

  std::string requestedClose() const {
    for (const auto& [name, value] : response_.headers) {
      if (sameWord(name, "Connection")) {
        return value;
      }
    }
    return "";
  }

  bool reserveBody(std::size_t bytes) {
    if (bytes == 0) {
      return true;
    }
    if (services_.bodyBytes->fetch_add(bytes) + bytes > kBodyBytesAtOnce) {
      services_.bodyBytes->fetch_sub(bytes);
      return false;
    }
    reserved_ = bytes;
    return true;
  }

  void releaseBody() {
    services_.bodyBytes->fetch_sub(reserved_);
    reserved_ = 0;
  }

  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  ConnectionServices services_;
  beast::flat_buffer buffer_;
  boost::optional<RequestParser> parser_;
  HttpRequest request_;
  HttpResponse response_;
  http::response<http::span_body<const char>> message_;
  bool keepAlive_ = false;
  int served_ = 0;
  std::size_t reserved_ = 0;
};

}  // namespace

void serveConnection(net::ip::tcp::socket socket, const ConnectionServices& services) {
  std::make_shared<Connection>(std::move(socket), services)->readHead();
}
