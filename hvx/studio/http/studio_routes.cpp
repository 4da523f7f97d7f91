#include "hvx/studio/http/studio_routes.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <regex>

#include "hvx/picture/decode/picture_screen.h"
#include "hvx/studio/http/studio_server.h"
#include "hvx/studio/page/studio_page.h"
#include "hvx/studio/studio_editor.h"
#include "hvx/studio/studio_requests.h"
#include "hvx/studio/studio_sound.h"
#include "voice/voice_layout.h"

using Request = HttpRequest;
using Response = HttpResponse;
using nlohmann::json;

namespace {

// Whether the gate has answered a request itself.
enum class HandlerResponse { Handled, Unhandled };

// Every answer: never cached, never sniffed into another type, never framed.
void addSafetyHeaders(Response& response) {
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("X-Frame-Options", "DENY");
  response.set_header("Referrer-Policy", "no-referrer");
}

void sendJson(Response& response, int status, const json& body) {
  response.status = status;
  // A file's name is the user's bytes: never UTF-8 enough to stop an answer.
  response.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace),
                       "application/json; charset=utf-8");
}

void sendError(Response& response, int status, const std::string& sentence) {
  sendJson(response, status, json{{"error", sentence}});
}

// "32 MiB", "64 KiB": a limit as the user reads it.
std::string sizeText(std::size_t bytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                           : std::to_string(bytes >> 10) + " KiB";
}

std::string tooLargeSentence(std::size_t limit) {
  return "That upload is larger than the studio accepts (" + sizeText(limit) + ").";
}

// A refusal before the body is read: the connection closes, so that an
// unread body is never taken for the next request.
HandlerResponse refuse(Response& response, int status, const std::string& sentence) {
  response.set_header("Connection", "close");
  sendError(response, status, sentence);
  return HandlerResponse::Handled;
}

// The body a POST route takes: its media type and largest size.
struct BodyRule {
  const char* mediaType;
  std::size_t maxBytes;
};

bool bodyRuleFor(const std::string& path, BodyRule& rule);

// The media type of a Content-Type header, without its parameters.
std::string mediaTypeOf(const std::string& contentType) {
  std::string type = contentType.substr(0, contentType.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) {
    type.pop_back();
  }
  return type;
}

// The gate, before any body is read. The page itself holds no secret; every
// call needs the token header, which only the page's own script can set;
// a call with side effects needs this server's own Origin too, and a body
// of the route's type and size, with its length given. Browsers send other
// sites' forms and no-cors requests without that header, with another
// Origin, and only as form or text types, so each is refused here.
HandlerResponse gate(const StudioContext& context, const Request& request, Response& response) {
  addSafetyHeaders(response);
  const std::string host = request.get_header_value("Host");
  // Two Host lines could show the check one name and a proxy another.
  if (request.get_header_value_count("Host") != 1 || !context.access->hostAllowed(host)) {
    return refuse(response, 403, "Open the address hvx studio printed.");
  }
  // The page, its scripts and its style hold no secret either.
  if (request.method == "GET" && (request.path == "/" || findPageFile(request.path) != nullptr)) {
    return HandlerResponse::Unhandled;
  }
  if (request.get_header_value_count(kTokenHeader) != 1 ||
      !context.access->tokenPresented(request.get_header_value(kTokenHeader))) {
    return refuse(response, 403, "Open the address hvx studio printed, with its token.");
  }
  if (request.method == "GET") {
    return HandlerResponse::Unhandled;
  }
  if (request.method != "POST") {
    return refuse(response, 405, "The studio takes no such request.");
  }
  if (!context.access->sameOrigin(request.get_header_value("Origin"), host)) {
    return refuse(response, 403, "The studio takes changes only from its own page.");
  }
  BodyRule rule{};
  if (!bodyRuleFor(request.path, rule)) {
    return refuse(response, 404, "The studio has no such page.");
  }
  if (request.has_header("Transfer-Encoding") || !request.has_header("Content-Length")) {
    return refuse(response, 411, "The studio takes a body only with its length given.");
  }
  if (mediaTypeOf(request.get_header_value("Content-Type")) != rule.mediaType) {
    return refuse(response, 415, std::string("The studio takes ") + rule.mediaType + " here.");
  }
  const std::string length = request.get_header_value("Content-Length");
  if (length.empty() || length.size() > 12 ||
      length.find_first_not_of("0123456789") != std::string::npos ||
      std::stoull(length) > rule.maxBytes) {
    return refuse(response, 413, tooLargeSentence(rule.maxBytes));
  }
  return HandlerResponse::Unhandled;
}

bool parseBody(const Request& request, Response& response, json& body) {
  body = json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    sendError(response, 400, "The request was not understood.");
    return false;
  }
  return true;
}

void sendPictureAdded(Response& response, StudioSession& session, const std::string& fileName,
                      std::string bytes, bool fromFolder, bool drawn = false) {
  const std::string id = session.addPicture(fileName, std::move(bytes), fromFolder, drawn);
  if (id.empty()) {
    sendError(response, 500, "The studio could not make an id for the picture.");
    return;
  }
  sendJson(response, 200, json{{"picture", id}, {"name", outputNamesFor(fileName).stem}});
}

// Bytes that begin as a voice file does, with its format version: a damaged
// voice is refused with the reader's reason, not as a file of no kind.
bool startsAsVoice(const std::string& bytes) {
  const auto version = static_cast<std::uint32_t>(kVoiceFormatVersion);
  for (std::size_t i = 0; i < 4; ++i) {
    if (i >= bytes.size() ||
        static_cast<unsigned char>(bytes[i]) != ((version >> (8 * i)) & 0xFFu)) {
      return false;
    }
  }
  return true;
}

// A file from the chooser, a drop or the folder: a sound becomes the picture
// hvx analyze makes of it, a voice is opened as it is, a picture is kept as
// it is (its decoder speaks for it at conversion), and anything else is
// refused in one line.
void sendFileAdded(Response& response, StudioSession& session, const std::string& fileName,
                   std::string bytes, bool fromFolder) {
  if (isSoundUpload(bytes)) {
    std::string bitmap;
    std::string problem;
    json facts;
    if (!analyseSoundUpload(bytes, bitmap, facts, problem)) {
      sendError(response, 422, problem);
      return;
    }
    const std::string name = outputNamesFor(fileName).stem + ".analysis.bmp";
    const std::string id = session.addPicture(name, std::move(bitmap), fromFolder);
    if (id.empty()) {
      sendError(response, 500, "The studio could not make an id for the picture.");
      return;
    }
    sendJson(response, 200,
             json{{"picture", id}, {"name", outputNamesFor(name).stem}, {"sound", facts}});
    return;
  }
  if (isVoiceUpload(bytes) || startsAsVoice(bytes)) {
    std::string problem;
    const std::string id = session.addVoice(fileName, bytes, fromFolder, problem);
    if (id.empty()) {
      sendError(response, 422, problem);
      return;
    }
    sendJson(response, 200, json{{"voice", id}, {"name", openedVoiceNames(fileName).stem}});
    return;
  }
  PictureScreen screen;
  std::string problem;
  if (!screenPicture(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                     std::numeric_limits<std::size_t>::max(), screen, problem) &&
      problem.rfind("not a picture", 0) == 0) {
    sendError(response, 422, noKindSentence(fileName));
    return;
  }
  sendPictureAdded(response, session, fileName, std::move(bytes), fromFolder);
}

void handlePage(const Request&, Response& response) {
  response.set_header("Content-Security-Policy",
                      "default-src 'none'; script-src 'self'; "
                      "style-src 'self' 'unsafe-inline'; "
                      "img-src blob:; media-src blob:; connect-src 'self'; "
                      "frame-ancestors 'none'; form-action 'none'; base-uri 'none'");
  response.set_content(kStudioPage, kStudioPageSize, "text/html; charset=utf-8");
}

void handleSession(StudioContext& context, const Request&, Response& response) {
  json pictures = json::array();
  for (const std::string& name : context.folder.listPictures()) {
    pictures.push_back(name);
  }
  sendJson(response, 200,
           json{{"folder", context.folder.isOpen() ? json(context.folder.path()) : json(nullptr)},
                {"pictures", pictures},
                {"uploadLimit", kMaxUploadBytes},
                {"maxHold", kMaxPreviewHoldSeconds},
                {"defaults", toneOptionsJson(ToneOptions{})},
                {"options", toneControlsJson()},
                {"editor", editorFacts()}});
}

void handlePageFile(const StudioPageFile& file, const Request&, Response& response) {
  response.set_content(file.bytes, file.size, pageFileMediaType(file.name));
}

// A grid drawn in the page's editor, taken as a picture.
std::shared_ptr<const StudioResult> resultNamedIn(StudioContext& context, const json& body) {
  const json id = body.value("result", json());
  return id.is_string() ? context.session.result(id.get<std::string>()) : nullptr;
}

// A call about one kept result: `answer` fills `bytes` or says what went wrong.
template <typename Answer>
void answerForResult(StudioContext& context, const Request& request, Response& response,
                     const char* mediaType, Answer answer) {
  json body;
  std::string bytes;
  std::string problem;
  if (!parseBody(request, response, body)) {
    return;
  }
  const auto result = resultNamedIn(context, body);
  if (result == nullptr) {
    sendError(response, 404, "That result is no longer in the studio.");
  } else if (!answer(*result, body, bytes, problem)) {
    sendError(response, 422, problem);
  } else {
    response.set_content(bytes, mediaType);
  }
}

// A result's voice: its envelopes, for the page's own synthesis.
void handleVoice(StudioContext& context, const Request& request, Response& response) {
  answerForResult(context, request, response, "application/json; charset=utf-8",
                  [](const StudioResult& result, const json&, std::string& voice,
                     std::string& problem) { return resultVoiceJson(result, voice, problem); });
}

// A result's voice rendered at a note, for browsers without the synthesis.
void handleNote(StudioContext& context, const Request& request, Response& response) {
  answerForResult(context, request, response, "audio/wav", renderResultAtNote);
}

void handlePicture(StudioContext& context, const Request& request, Response& response) {
  if (request.body.empty()) {
    sendError(response, 422, "The file is empty.");
    return;
  }
  sendFileAdded(response, context.session, request.get_param_value("name"), request.body, false);
}

void handleFolderPicture(StudioContext& context, const Request& request, Response& response) {
  json body;
  if (!parseBody(request, response, body)) {
    return;
  }
  const json name = body.value("name", json());
  std::string bytes;
  std::string problem;
  if (!context.folder.isOpen()) {
    sendError(response, 404, "The studio was started without a folder.");
  } else if (!name.is_string() || !context.folder.readPicture(name.get<std::string>(),
                                                              kMaxUploadBytes, bytes, problem)) {
    sendError(response, 404,
              problem.empty() ? "There is no picture of that name in the folder." : problem);
  } else {
    sendFileAdded(response, context.session, name.get<std::string>(), std::move(bytes), true);
  }
}

// A result as the page shows it; with "withVoice": true in the request, its
// envelopes too, and the id of a drawn grid's picture when there is one.
void sendResult(StudioContext& context, Response& response, const json& request,
                const StudioResult& result, const json& drawnId) {
  json answer = studioResultJson(result, context.folder.isOpen());
  if (!drawnId.is_null()) {
    answer["picture"] = drawnId;
  }
  std::string text = answer.dump(-1, ' ', false, json::error_handler_t::replace);
  const auto withVoice = request.find("withVoice");
  std::string voice;
  std::string problem;
  if (withVoice != request.end() && *withVoice == true && resultVoiceJson(result, voice, problem)) {
    // The envelopes are printed in single precision by their own JSON type;
    // the answer, an object, takes them as its last member.
    text.pop_back();
    text += ",\"voice\":";
    text += voice;
    text += '}';
  }
  response.set_content(text, "application/json; charset=utf-8");
}

// With "voice" (an opened voice's id), the voice with the page's edit of its
// grid and loop. With "grid" in place of "picture", a grid drawn on the page is added and
// converted in one request. With "withVoice": true the answer carries the
// voice's envelopes too, for the page's own synthesis. An edit so costs the
// page one request and the voice picture's fetch.
void handleConvert(StudioContext& context, const Request& request, Response& response) {
  json body;
  if (!parseBody(request, response, body)) {
    return;
  }
  std::string problem;
  std::string drawnId;
  std::shared_ptr<const StudioResult> result;
  if (body.is_object() && body.contains("voice")) {
    VoiceTurn turn;
    if (!voiceTurnFromJson(body, turn, problem)) {
      sendError(response, 400, problem);
      return;
    }
    if (!context.session.runVoice(turn, result, problem)) {
      sendError(response, 422, problem);
      return;
    }
    sendResult(context, response, body, *result, json());
    return;
  }
  if (body.is_object() && body.contains("grid")) {
    std::string name;
    std::string bitmap;
    if (!drawnGridBitmap(body.at("grid"), name, bitmap, problem)) {
      sendError(response, 400, problem);
      return;
    }
    drawnId = context.session.addPicture(name, std::move(bitmap), false, true);
    if (drawnId.empty()) {
      sendError(response, 500, "The studio could not make an id for the picture.");
      return;
    }
    body["picture"] = drawnId;
  }
  StudioRequest turn;
  if (!studioRequestFromJson(body, turn, problem)) {
    sendError(response, 400, problem);
    return;
  }
  if (!context.session.run(turn, result, problem)) {
    sendError(response, 422, problem);
    return;
  }
  sendResult(context, response, body, *result, drawnId.empty() ? json() : json(drawnId));
}

void handleResultFile(StudioContext& context, const Request& request, Response& response) {
  ResultFile file;
  const auto result = context.session.result(request.matches[1]);
  if (result == nullptr || !resultFileFromName(request.matches[2], file)) {
    sendError(response, 404, "That result is no longer in the studio.");
    return;
  }
  const ResultDownload download = resultDownload(*result, file);
  if (download.bytes->empty()) {
    sendError(response, 404, "That result has no such file.");
    return;
  }
  // Sent from the result's own bytes: a preview is megabytes.
  response.set_shared_content(download.bytes, download.mediaType);
}

// A typed name takes no line break or other control character: it would
// break every listing of the folder.
bool hasControlCharacter(const std::string& name) {
  return std::any_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

void handleSave(StudioContext& context, const Request& request, Response& response) {
  json body;
  if (!parseBody(request, response, body)) {
    return;
  }
  ResultFile file;
  const json resultId = body.value("result", json());
  const json what = body.value("file", json());
  const json replace = body.value("replace", json(false));
  const auto result =
      resultId.is_string() ? context.session.result(resultId.get<std::string>()) : nullptr;
  if (!context.folder.isOpen()) {
    sendError(response, 404, "The studio was started without a folder.");
    return;
  }
  if (result == nullptr || !what.is_string() || !replace.is_boolean() ||
      !resultFileFromName(what.get<std::string>(), file) ||
      (file != ResultFile::Voice && file != ResultFile::Bitmap)) {
    sendError(response, 404, "That result is no longer in the studio.");
    return;
  }
  ResultDownload download = resultDownload(*result, file);
  const bool opened = result->opened != nullptr;
  if (download.bytes->empty()) {
    sendError(response, 404, "That result has no such file.");
    return;
  }
  // An opened voice's edit is saved under the name the user gives it.
  const json as = body.value("as", json());
  if (opened && file == ResultFile::Voice && !as.is_null()) {
    if (!as.is_string() || !isPlainFileName(as.get<std::string>()) ||
        !hasVoiceExtension(as.get<std::string>()) || hasControlCharacter(as.get<std::string>())) {
      sendError(response, 400, "Save the voice under a plain file name ending in .hvx.");
      return;
    }
    download.fileName = as.get<std::string>();
  }
  // Only its edit may take the opened voice's place, never its picture.
  const bool editOfVoice = opened && file == ResultFile::Voice;
  std::string message;
  switch (context.folder.save(download.fileName, *download.bytes, replace.get<bool>(),
                              result->sourceName, editOfVoice, message)) {
    case PictureFolder::SaveOutcome::Saved:
      sendJson(response, 200,
               json{{"saved", download.fileName}, {"folder", context.folder.path()}});
      break;
    case PictureFolder::SaveOutcome::Exists:
      sendJson(response, 409, json{{"error", message}, {"exists", download.fileName}});
      break;
    case PictureFolder::SaveOutcome::Refused:
      sendError(response, 409, message);
      break;
    case PictureFolder::SaveOutcome::Failed:
      sendError(response, 500, message);
      break;
  }
}

using Handler = void (*)(StudioContext&, const Request&, Response&);

// Every call of the page: its method, its path (a pattern whose groups the
// handler reads as `matches`), the body it takes, whether its answer may wait
// for a render, and its handler. The page and its files are served before
// these, to anyone naming this server.
struct Route {
  const char* method;
  const char* path;
  BodyRule body;
  bool renders;
  Handler handler;
};

constexpr BodyRule kJsonBody{"application/json", kMaxJsonBytes};
constexpr BodyRule kNoBody{"", 0};
const Route kRoutes[] = {
    {"GET", "/api/session", kNoBody, false, handleSession},
    {"GET", R"(/api/result/(r[0-9a-f]{32})/(preview\.wav))", kNoBody, true, handleResultFile},
    {"GET", R"(/api/result/(r[0-9a-f]{32})/([a-z]+\.[a-z]+))", kNoBody, false, handleResultFile},
    {"POST", "/api/picture", {"application/octet-stream", kMaxUploadBytes}, false, handlePicture},
    {"POST", "/api/folder-picture", kJsonBody, false, handleFolderPicture},
    {"POST", "/api/convert", kJsonBody, false, handleConvert},
    {"POST", "/api/voice", kJsonBody, false, handleVoice},
    {"POST", "/api/note", kJsonBody, true, handleNote},
    {"POST", "/api/save", kJsonBody, false, handleSave},
};
constexpr std::size_t kRouteCount = sizeof kRoutes / sizeof kRoutes[0];

// The route for `method` and `path`, with the pattern's groups, or null.
const Route* findRoute(const std::string& method, const std::string& path,
                       std::vector<std::string>* matches) {
  static const std::vector<std::regex> patterns = [] {
    std::vector<std::regex> compiled;
    for (const Route& route : kRoutes) {
      compiled.emplace_back(route.path);
    }
    return compiled;
  }();
  std::smatch found;
  for (std::size_t i = 0; i < kRouteCount; ++i) {
    if (method == kRoutes[i].method && std::regex_match(path, found, patterns[i])) {
      if (matches != nullptr) {
        matches->assign(found.begin(), found.end());
      }
      return &kRoutes[i];
    }
  }
  return nullptr;
}

bool bodyRuleFor(const std::string& path, BodyRule& rule) {
  const Route* const route = findRoute("POST", path, nullptr);
  if (route != nullptr) {
    rule = route->body;
  }
  return route != nullptr;
}

}  // namespace

bool admitStudioRequest(const StudioContext& context, const HttpRequest& head,
                        HttpResponse& response, std::size_t& maxBody) {
  if (gate(context, head, response) == HandlerResponse::Handled) {
    return false;
  }
  // The gate let a POST in only with a length within its route's rule.
  maxBody = head.method == "POST" ? std::stoull(head.get_header_value("Content-Length")) : 0;
  return true;
}

void answerStudioRequest(StudioContext& context, HttpRequest& request, HttpResponse& response) {
  if (request.method == "GET" && request.path == "/") {
    handlePage(request, response);
    return;
  }
  const StudioPageFile* const file = request.method == "GET" ? findPageFile(request.path) : nullptr;
  const Route* const route =
      file == nullptr ? findRoute(request.method, request.path, &request.matches) : nullptr;
  if (file != nullptr) {
    handlePageFile(*file, request, response);
  } else if (route != nullptr) {
    route->handler(context, request, response);
  } else {
    sendError(response, 404, "The studio has no such page.");
  }
}

bool answerMayRender(const HttpRequest& request) {
  const Route* const route = findRoute(request.method, request.path, nullptr);
  return route != nullptr && route->renders;
}

void refuseUnreadable(HttpResponse& response, int status) {
  addSafetyHeaders(response);
  response.set_header("Connection", "close");
  sendError(response, status,
            status == 413 ? tooLargeSentence(kMaxUploadBytes) : "The request was not understood.");
}
