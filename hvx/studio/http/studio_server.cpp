#include "hvx/studio/http/studio_server.h"

#include <dirent.h>
#include <httplib.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>

#include "hvx/studio/http/studio_access.h"
#include "hvx/studio/http/studio_routes.h"

namespace {

// Connections served at once. Each holds a thread while it is open, so a few
// slow or idle clients (a browser keeps six open) leave most for the rest.
constexpr std::size_t kWorkerThreads = 32;
// A client that sends nothing for this long is dropped, whether it is in its
// headers, its body or between requests: on this machine's loopback a
// working client never pauses that long.
constexpr time_t kReadTimeoutSeconds = 2;
constexpr time_t kWriteTimeoutSeconds = 10;
constexpr time_t kKeepAliveSeconds = 2;
constexpr std::size_t kRequestsPerConnection = 100;
constexpr int kOwnMappingBytes = 16 << 20;

// The port a socket is bound to locally, or -1 when `fd` is no IP socket.
int localPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return -1;
  }
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return -1;
}

// Ends every connection to `port`: a worker waiting on an idle or slow client
// then returns at once instead of after its read timeout. shutdown() leaves
// the descriptor to the worker that owns it, which closes it.
void endConnections(int port) {
  DIR* open = ::opendir("/proc/self/fd");
  if (open == nullptr) {
    return;
  }
  const int own = ::dirfd(open);
  while (const dirent* entry = ::readdir(open)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == own) {
      continue;
    }
    if (localPort(static_cast<int>(fd)) == port) {
      ::shutdown(static_cast<int>(fd), SHUT_RDWR);
    }
  }
  ::closedir(open);
}

}  // namespace

struct StudioServer::State {
  httplib::Server http;
  StudioContext context;
  std::string hostForAddress;
  int port = 0;
};

StudioServer::StudioServer() : state_(std::make_unique<State>()) {}

StudioServer::~StudioServer() = default;

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
  httplib::Server& http = state.http;
  // The gate refuses larger bodies from their stated length; this holds
  // whatever reaches the library's own reading.
  http.set_payload_max_length(kMaxUploadBytes);
  http.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  http.set_read_timeout(kReadTimeoutSeconds, 0);
  http.set_write_timeout(kWriteTimeoutSeconds, 0);
  http.set_keep_alive_timeout(kKeepAliveSeconds);
  http.set_keep_alive_max_count(kRequestsPerConnection);
  // Headers and body go out as separate writes: without this the body waits
  // for the page's delayed acknowledgement of the headers, 40 ms each time.
  http.set_tcp_nodelay(true);
  if (settings.port == 0) {
    state.port = http.bind_to_any_port(settings.listenAddress);
  } else if (http.bind_to_port(settings.listenAddress, settings.port)) {
    state.port = settings.port;
  } else {
    state.port = -1;
  }
  if (state.port <= 0) {
    error = "cannot listen on " + settings.listenAddress + " port " + std::to_string(settings.port);
    return false;
  }
  const std::vector<std::string> hosts = hostNamesFor(settings.listenAddress, state.port);
  // The printed address names a host this server answers to by its Host check.
  state.hostForAddress = hosts.back();
  state.context.access = std::make_unique<StudioAccess>(token, hosts);
  addStudioRoutes(http, state.context);
  return true;
}

std::string StudioServer::address() const {
  const State& state = *state_;
  return "http://" + state.hostForAddress + "/?token=" + state.context.access->token();
}

int StudioServer::port() const { return state_->port; }

void StudioServer::run() { state_->http.listen_after_bind(); }

void StudioServer::stop() {
  state_->http.stop();
  endConnections(state_->port);
}
