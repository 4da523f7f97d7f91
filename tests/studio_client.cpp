#include "studio_client.h"

#include <strings.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {

bool sameName(const std::string& a, const std::string& b) {
  return ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool named(const Headers& headers, const std::string& name) {
  for (const auto& header : headers) {
    if (sameName(header.first, name)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool Reply::has_header(const std::string& name) const { return named(headers, name); }

std::string Reply::get_header_value(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) {
      return value;
    }
  }
  return "";
}

Result StudioClient::Get(const std::string& path, const Headers& headers) const {
  return send("GET", path, headers, nullptr, "");
}

Result StudioClient::Post(const std::string& path, const Headers& headers, const std::string& body,
                          const std::string& type) const {
  return send("POST", path, headers, &body, type);
}

Result StudioClient::send(const std::string& method, const std::string& path,
                          const Headers& headers, const std::string* body,
                          const std::string& type) const {
  http::request<http::string_body> request{http::string_to_verb(method), path, 11};
  Headers all = headers;
  for (const auto& header : defaults_) {
    if (!named(headers, header.first)) {
      all.push_back(header);
    }
  }
  if (!named(all, "Host")) {
    all.emplace_back("Host", "127.0.0.1:" + std::to_string(port_));
  }
  for (const auto& [name, value] : all) {
    request.insert(name, value);
  }
  if (body != nullptr) {
    request.set(http::field::content_type, type);
    request.body() = *body;
    request.prepare_payload();
  }
  request.keep_alive(false);
  // Each step runs to its end; the deadline ends a stuck one.
  net::io_context io;
  beast::tcp_stream stream(io);
  stream.expires_after(std::chrono::seconds(10));
  beast::error_code failed;
  const auto note = [&failed](beast::error_code error, std::size_t = 0) {
    failed = failed ? failed : error;
  };
  const auto finish = [&io] {
    io.run();
    io.restart();
  };
  stream.async_connect(net::ip::tcp::endpoint(net::ip::make_address("127.0.0.1"),
                                              static_cast<unsigned short>(port_)),
                       note);
  finish();
  if (failed) {
    return std::nullopt;
  }
  http::async_write(stream, request, note);
  finish();
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(std::uint64_t{1} << 30);
  http::async_read(stream, buffer, parser, note);
  finish();
  if (failed || !parser.is_done()) {
    return std::nullopt;
  }
  Reply reply;
  reply.status = static_cast<int>(parser.get().result_int());
  reply.body = std::move(parser.get().body());
  for (const auto& field : parser.get()) {
    reply.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  return reply;
}
