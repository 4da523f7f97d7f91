#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Where and how the studio serves its page.
struct StudioSettings {
  std::string listenAddress = "127.0.0.1";
  int port = 8765;     // 0: any free port
  std::string folder;  // empty: no folder to pick from or save into
};

// Largest upload the studio takes: a picture file, whatever its format.
constexpr std::size_t kMaxUploadBytes = std::size_t{32} << 20;
// Largest JSON request: an opened voice's whole grid, up to 128 points of 128
// harmonics at "255," each, with room for the rest.
constexpr std::size_t kMaxJsonBytes = std::size_t{128} << 10;

// The studio's HTTP server: the page, the picture and conversion calls, and
// the gate in front of them (token, Host, Origin, body type and size).
class StudioServer {
 public:
  StudioServer();
  ~StudioServer();
  StudioServer(const StudioServer&) = delete;
  StudioServer& operator=(const StudioServer&) = delete;

  // Opens the folder and binds the port. False with a sentence in `error`.
  bool start(const StudioSettings& settings, std::string& error);
  // The address to open, with its token.
  std::string address() const;
  int port() const;
  // Serves until stop() is called from another thread.
  void run();
  void stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
