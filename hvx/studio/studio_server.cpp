#include "hvx/studio/studio_server.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

#include "hvx/studio/page/studio_page.h"
#include "hvx/studio/studio_access.h"
#include "hvx/studio/studio_editor.h"
#include "hvx/studio/studio_folder.h"
#include "hvx/studio/studio_requests.h"
#include "hvx/studio/studio_session.h"

using nlohmann::json;

struct StudioServer::State {
  httplib::Server http;
  std::unique_ptr<StudioAccess> access;
  PictureFolder folder;
  StudioSession session;
  std::string hostForAddress;
  int port = 0;
};

namespace {

// Every answer: never cached, never sniffed into another type, never framed.
void addSafetyHeaders(httplib::Response& response) {
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("X-Frame-Options", "DENY");
  response.set_header("Referrer-Policy", "no-referrer");
}

void sendJson(httplib::Response& response, int status, const json& body) {
  response.status = status;
  // With the charset named, the library leaves the answer uncompressed: its
  // compressor costs far more time than the few kilobytes save on loopback.
  response.set_content(body.dump(), "application/json; charset=utf-8");
}

void sendError(httplib::Response& response, int status, const std::string& sentence) {
  sendJson(response, status, json{{"error", sentence}});
}

bool parseBody(const httplib::Request& request, httplib::Response& response, json& body) {
  body = json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    sendError(response, 400, "The request was not understood.");
    return false;
  }
  return true;
}

// The page keeps the sentence; the status tells a refusal from a fault.
void sendPictureAdded(httplib::Response& response, StudioSession& session,
                      const std::string& fileName, std::string bytes, bool drawn = false) {
  const std::string name = voiceNameFor(fileName);
  const std::string id = session.addPicture(fileName, std::move(bytes), drawn);
  sendJson(response, 200, json{{"picture", id}, {"name", name}});
}

}  // namespace

StudioServer::StudioServer() : state_(std::make_unique<State>()) {}

StudioServer::~StudioServer() = default;

bool StudioServer::start(const StudioSettings& settings, std::string& error) {
  State& state = *state_;
  if (!settings.folder.empty() && !state.folder.open(settings.folder, error)) {
    return false;
  }
  const std::string token = makeStudioToken();
  if (token.empty()) {
    error = "cannot read random bytes for the access token";
    return false;
  }
  httplib::Server& http = state.http;
  http.set_payload_max_length(kMaxUploadBytes);
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
  state.access = std::make_unique<StudioAccess>(
      token, hostNamesFor(settings.listenAddress, state.port), state.port);
  // The printed address names a host this server answers to by its Host check.
  state.hostForAddress = hostNamesFor(settings.listenAddress, state.port).back();

  // The gate: every request, before its body is read.
  http.set_pre_routing_handler(
      [&state](const httplib::Request& request, httplib::Response& response) {
        addSafetyHeaders(response);
        // The page's scripts and style hold no secret (they are the same in
        // every copy of hvx) and are loaded by tags that cannot present the
        // token; the Host check still keeps other sites' names out.
        const bool publicFile = request.method == "GET" && findPageFile(request.path) != nullptr;
        const bool allowed =
            state.access->hostAllowed(request.get_header_value("Host")) &&
            (publicFile || state.access->tokenPresented(request.get_param_value("token"),
                                                        request.get_header_value("Cookie")));
        if (!allowed) {
          response.status = 403;
          response.set_header("Connection", "close");
          response.set_content("Forbidden: open the address hvx studio printed, with its token.\n",
                               "text/plain");
          return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
      });
  http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.status == 413) {
      sendError(response, 413,
                "That upload is larger than the studio accepts (32 MiB for a picture file).");
    } else if (response.body.empty()) {
      sendError(response, response.status, "The studio has no such page.");
    }
  });

  http.Get("/", [&state](const httplib::Request&, httplib::Response& response) {
    response.set_header("Set-Cookie", state.access->cookie());
    response.set_header("Content-Security-Policy",
                        "default-src 'none'; script-src 'self' 'unsafe-inline'; "
                        "style-src 'self' 'unsafe-inline'; "
                        "img-src 'self' blob:; media-src 'self'; connect-src 'self'; "
                        "frame-ancestors 'none'; form-action 'none'; base-uri 'none'");
    response.set_content(kStudioPage, kStudioPageSize, "text/html; charset=utf-8");
  });

  for (std::size_t i = 0; i < kStudioPageFileCount; ++i) {
    const StudioPageFile& file = kStudioPageFiles[i];
    if (findPageFile(std::string("/") + file.name) == &file) {
      http.Get(std::string("/") + file.name,
               [&file](const httplib::Request&, httplib::Response& response) {
                 response.set_content(file.bytes, file.size, pageFileMediaType(file.name));
               });
    }
  }

  http.Get("/api/session", [&state](const httplib::Request&, httplib::Response& response) {
    json pictures = json::array();
    for (const std::string& name : state.folder.listPictures()) {
      pictures.push_back(name);
    }
    sendJson(response, 200,
             json{{"folder", state.folder.isOpen() ? json(state.folder.path()) : json(nullptr)},
                  {"pictures", pictures},
                  {"uploadLimit", kMaxUploadBytes},
                  {"maxHold", kMaxPreviewHoldSeconds},
                  {"editor", editorFacts()}});
  });

  http.Post("/api/picture", [&state](const httplib::Request& request, httplib::Response& response) {
    if (request.body.empty()) {
      sendError(response, 422, "The file is empty.");
      return;
    }
    sendPictureAdded(response, state.session, request.get_param_value("name"), request.body);
  });

  http.Post("/api/grid", [&state](const httplib::Request& request, httplib::Response& response) {
    json body;
    std::string name;
    std::string bitmap;
    std::string problem;
    if (!parseBody(request, response, body)) {
      return;
    }
    if (!drawnGridBitmap(body, name, bitmap, problem)) {
      sendError(response, 400, problem);
      return;
    }
    sendPictureAdded(response, state.session, name, std::move(bitmap), true);
  });

  // The voice of a result: its envelopes as JSON, or rendered at a note.
  const auto resultOf = [&state](const json& body) {
    const json id = body.value("result", json());
    return id.is_string() ? state.session.result(id.get<std::string>()) : nullptr;
  };
  http.Post("/api/voice", [resultOf](const httplib::Request& request, httplib::Response& response) {
    json body;
    std::string voice;
    std::string problem;
    if (!parseBody(request, response, body)) {
      return;
    }
    const auto result = resultOf(body);
    if (result == nullptr) {
      sendError(response, 404, "That result is no longer in the studio.");
    } else if (!resultVoiceJson(*result, voice, problem)) {
      sendError(response, 422, problem);
    } else {
      response.set_content(voice, "application/json; charset=utf-8");
    }
  });
  http.Post("/api/note", [resultOf](const httplib::Request& request, httplib::Response& response) {
    json body;
    std::string wav;
    std::string problem;
    if (!parseBody(request, response, body)) {
      return;
    }
    const auto result = resultOf(body);
    if (result == nullptr) {
      sendError(response, 404, "That result is no longer in the studio.");
    } else if (!renderResultAtNote(*result, body, wav, problem)) {
      sendError(response, 422, problem);
    } else {
      response.set_content(wav, "audio/wav");
    }
  });

  http.Post("/api/folder-picture", [&state](const httplib::Request& request,
                                            httplib::Response& response) {
    json body;
    if (!parseBody(request, response, body)) {
      return;
    }
    const json name = body.value("name", json());
    std::string bytes;
    std::string problem;
    if (!state.folder.isOpen()) {
      sendError(response, 404, "The studio was started without a folder.");
    } else if (!name.is_string() || !state.folder.readPicture(name.get<std::string>(),
                                                              kMaxUploadBytes, bytes, problem)) {
      sendError(response, 404,
                problem.empty() ? "There is no picture of that name in the folder." : problem);
    } else {
      sendPictureAdded(response, state.session, name.get<std::string>(), std::move(bytes));
    }
  });

  http.Post("/api/convert", [&state](const httplib::Request& request, httplib::Response& response) {
    json body;
    if (!parseBody(request, response, body)) {
      return;
    }
    StudioRequest turn;
    std::string problem;
    std::shared_ptr<const StudioResult> result;
    if (!studioRequestFromJson(body, turn, problem)) {
      sendError(response, 400, problem);
    } else if (!state.session.run(turn, result, problem)) {
      sendError(response, 422, problem);
    } else {
      sendJson(response, 200, studioResultJson(*result, state.folder.isOpen()));
    }
  });

  http.Get(R"(/api/result/(r[0-9]+)/([a-z]+\.[a-z]+))",
           [&state](const httplib::Request& request, httplib::Response& response) {
             ResultFile file;
             const auto result = state.session.result(request.matches[1]);
             if (result == nullptr || !resultFileFromName(request.matches[2], file)) {
               sendError(response, 404, "That result is no longer in the studio.");
               return;
             }
             const ResultDownload download = resultDownload(*result, file);
             if (download.bytes.empty()) {
               sendError(response, 404, "That result has no such file.");
               return;
             }
             if (request.has_param("download")) {
               response.set_header("Content-Disposition",
                                   "attachment; filename=\"" + download.fileName + "\"");
             }
             response.set_content(download.bytes, download.mediaType);
           });

  http.Post("/api/save", [&state](const httplib::Request& request, httplib::Response& response) {
    json body;
    if (!parseBody(request, response, body)) {
      return;
    }
    ResultFile file;
    const auto result = state.session.result(body.value("result", std::string()));
    const std::string what = body.value("file", std::string());
    std::string problem;
    if (!state.folder.isOpen()) {
      sendError(response, 404, "The studio was started without a folder.");
    } else if (result == nullptr || !resultFileFromName(what, file) ||
               (file != ResultFile::Voice && file != ResultFile::Bitmap)) {
      sendError(response, 404, "That result is no longer in the studio.");
    } else {
      const ResultDownload download = resultDownload(*result, file);
      if (!state.folder.save(download.fileName, download.bytes, problem)) {
        sendError(response, 500, problem);
      } else {
        sendJson(response, 200,
                 json{{"saved", download.fileName}, {"folder", state.folder.path()}});
      }
    }
  });
  return true;
}

std::string StudioServer::address() const {
  const State& state = *state_;
  return "http://" + state.hostForAddress + "/?token=" + state.access->token();
}

int StudioServer::port() const { return state_->port; }

void StudioServer::run() { state_->http.listen_after_bind(); }

void StudioServer::stop() { state_->http.stop(); }
