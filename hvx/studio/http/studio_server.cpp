#include "hvx/studio/http/studio_server.h"

#include <malloc.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>

#include "hvx/studio/http/studio_access.h"
#include "hvx/studio/http/studio_connection.h"
#include "hvx/studio/http/studio_routes.h"
#include "hvx/studio/studio_preview.h"

namespace net = boost::asio;
using net::ip::tcp;

namespace {

// Binds `acceptor` to the first address `host` names that takes `port`.
bool listen(tcp::acceptor& acceptor, const std::string& host, int port) {
  boost::system::error_code error;
  tcp::resolver resolver(acceptor.get_executor());
  const auto found = resolver.resolve(
      host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, error);
  for (const auto& entry : found) {
    acceptor.close(error);
    acceptor.open(entry.endpoint().protocol(), error);
    if (!error) {
      acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
      acceptor.bind(entry.endpoint(), error);
    }
    if (!error) {
      acceptor.listen(net::socket_base::max_listen_connections, error);
    }
    if (!error) {
      return true;
    }
  }
  acceptor.close(error);
  return false;
}

// Threads that answer whole requests. Clients still sending theirs hold
// none: the one I/O thread reads every connection, each against its own
// deadline, and hands over only what has arrived whole.
constexpr std::size_t kWorkerThreads = 8;
// Threads for answers that wait for a render: as many as renders run at once.
constexpr auto kRenderWorkerThreads = static_cast<std::size_t>(kPreviewRenderSlots);
// Connections open at once; past this a new one is closed at once. Each
// holds a descriptor and at most its head's 16 KiB until its deadline.
constexpr int kMaxConnections = 512;
constexpr int kOwnMappingBytes = 16 << 20;

}  // namespace

struct StudioServer::State {
  StudioContext context;
  std::atomic<std::size_t> bodyBytes{0};
  std::atomic<int> open{0};
  net::io_context io{1};
  tcp::acceptor acceptor{io};
  net::steady_timer acceptPause{io};
  net::thread_pool workers{kWorkerThreads};
  net::thread_pool renderWorkers{kRenderWorkerThreads};
  std::string hostForAddress;
  int port = 0;

  void accept();
};

void StudioServer::State::accept() {
  acceptor.async_accept([this](boost::system::error_code error, tcp::socket socket) {
    if (error == net::error::operation_aborted) {
      return;
    }
    if (error) {
      // Out of descriptors, most likely: try again shortly rather than spin.
      acceptPause.expires_after(std::chrono::milliseconds(50));
      acceptPause.async_wait([this](boost::system::error_code waited) {
        if (!waited) {
          accept();
        }
      });
      return;
    }
    if (open.load() < kMaxConnections) {
      boost::system::error_code ignored;
      // Headers and body go out in one write; without this a reply would
      // wait for the page's delayed acknowledgement of the previous one.
      socket.set_option(tcp::no_delay(true), ignored);
      open.fetch_add(1);
      serveConnection(std::move(socket),
                      ConnectionServices{&context, &workers, &renderWorkers, &bodyBytes, &open});
    }
    accept();
  });
}

StudioServer::StudioServer() : state_(std::make_unique<State>()) {}

StudioServer::~StudioServer() {
  stop();
  state_->workers.join();
  state_->renderWorkers.join();
}

bool StudioServer::start(const StudioSettings& settings, std::string& error) {
  State& state = *state_;
  if (!settings.folder.empty() && !state.context.folder.open(settings.folder, error)) {
    return false;
  }
  const std::string token = makeStudioToken();
  if (token.empty()) {
    error = "cannot read random bytes for the access token";
    return false;
  }
  // Long previews and uploads take tens of megabytes, allocated by many
  // threads: mapped on their own, they go back to the system when freed
  // instead of staying in a thread's heap, so that the memory bounds below
  // hold for the process too. Smaller blocks stay in the heaps, which are
  // trimmed only past twice that, so that an ordinary turn does not pay for
  // fresh pages.
  mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
  mallopt(M_TRIM_THRESHOLD, 2 * kOwnMappingBytes);
  if (!listen(state.acceptor, settings.listenAddress, settings.port)) {
    error = "cannot listen on " + settings.listenAddress + " port " + std::to_string(settings.port);
    return false;
  }
  state.port = state.acceptor.local_endpoint().port();
  const std::vector<std::string> hosts = hostNamesFor(settings.listenAddress, state.port);
  // The printed address names a host this server answers to by its Host check.
  state.hostForAddress = hosts.back();
  state.context.access = std::make_unique<StudioAccess>(token, hosts);
  state.accept();
  return true;
}

std::string StudioServer::address() const {
  const State& state = *state_;
  return "http://" + state.hostForAddress + "/?token=" + state.context.access->token();
}

int StudioServer::port() const { return state_->port; }

void StudioServer::run() {
  state_->io.run();
  // Stopped: requests being answered finish, queued ones are dropped.
  state_->workers.stop();
  state_->renderWorkers.stop();
  state_->workers.join();
  state_->renderWorkers.join();
}

// Thread-safe: the I/O thread returns at once, with every connection still
// open, idle and slow ones included; they close as the server goes.
void StudioServer::stop() { state_->io.stop(); }
