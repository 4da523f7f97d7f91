#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/thread_pool.hpp>
#include <cstddef>

struct StudioContext;

// What the server lends each of its connections.
struct ConnectionServices {
  StudioContext* context;
  // Whole requests are answered here, never on the I/O thread.
  boost::asio::thread_pool* workers;
  // Answers that may wait for a render, which holds the workers otherwise.
  boost::asio::thread_pool* renderWorkers;
  // Bytes of request bodies being read or answered, against their bound.
  std::atomic<std::size_t>* bodyBytes;
  // Connections open, against their bound.
  std::atomic<int>* open;
};

// Serves requests on `socket` until the client is done, slow or wrong; the
// connection holds itself alive meanwhile. On the I/O thread.
void serveConnection(boost::asio::ip::tcp::socket socket, const ConnectionServices& services);
