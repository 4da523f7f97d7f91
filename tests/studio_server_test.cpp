// The studio's server from outside, as a browser or an intruder reaches it:
// every refusal answers and leaves the server serving.
#include "hvx/studio/http/studio_server.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/message_sink.h"
#include "hvx/picture/picture_prepare.h"
#include "hvx/studio/studio_conversion.h"
#include "hvx/studio/studio_folder.h"
#include "hvx/studio/studio_requests.h"
#include "hvx/voice/voice_file.h"
#include "image/bitmap_writer.h"
#include "studio_client.h"
#include "test_support.h"
#include "voice/voice_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

// A plain loopback connection to `port`, whose reads give up after 5 s.
int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const timeval wait{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool sendText(int fd, const std::string& text) {
  return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// The answer to `text`, sent whole on a connection of its own, read until the
// server closes it.
std::string rawReply(int port, const std::string& text) {
  const int fd = connectTo(port);
  std::string reply;
  if (fd >= 0 && sendText(fd, text)) {
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
      reply.append(buffer, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  return reply;
}

std::string picture64(int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(height) * 64);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<std::uint8_t>(i * 37 + 11);
  }
  return makeBitmap(64, height, pixels);
}

class StudioServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_.path() + "/pictures";
    ASSERT_EQ(::mkdir(folder_.c_str(), 0755), 0);
    ASSERT_TRUE(writeFileBytes(folder_ + "/ok.bmp", picture64(8)));
    ASSERT_TRUE(writeFileBytes(folder_ + "/.hidden.bmp", picture64(8)));
    ASSERT_TRUE(writeFileBytes(dir_.file("secret.bmp"), picture64(8)));
    ASSERT_EQ(::symlink(dir_.file("secret.bmp").c_str(), (folder_ + "/link.bmp").c_str()), 0);
    ASSERT_EQ(::mkdir((folder_ + "/sub.bmp").c_str(), 0755), 0);
    StudioSettings settings;
    settings.port = 0;
    settings.folder = folder_;
    std::string error;
    ASSERT_TRUE(server_.start(settings, error)) << error;
    runner_ = std::thread([this] { server_.run(); });
    const std::string address = server_.address();
    token_ = address.substr(address.find("token=") + 6);
    origin_ = "http://127.0.0.1:" + std::to_string(server_.port());
    client_ = std::make_unique<StudioClient>(server_.port());
    client_->setDefaultHeaders({{"X-Studio-Token", token_}, {"Origin", origin_}});
  }
  void TearDown() override {
    server_.stop();
    if (runner_.joinable()) {
      runner_.join();
    }
  }
  // The server still answers an ordinary request.
  void expectServing() {
    const auto reply = client_->Get("/api/session");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
  }
  int statusOf(const Result& reply) { return reply ? reply->status : -1; }
  Result postJson(const std::string& path, const std::string& body) {
    return client_->Post(path.c_str(), body, "application/json");
  }
  // The id a reply gives under `key`.
  static std::string idIn(const Result& reply, const std::string& key) {
    return nlohmann::json::parse(reply->body).value(key, std::string());
  }
  std::string pickedPicture(const std::string& name) {
    return idIn(postJson("/api/folder-picture", "{\"name\":\"" + name + "\"}"), "picture");
  }

  TempDir dir_;
  std::string folder_;
  StudioServer server_;
  std::thread runner_;
  std::string token_;
  std::string origin_;
  std::unique_ptr<StudioClient> client_;
};

// Each request differs from an accepted one in one header: the token, the
// Host or the Origin one character off, or a body type another site's page
// can send without asking.
TEST_F(StudioServerTest, LetsInOnlyTheExactTokenHostAndOrigin) {
  const std::string port = std::to_string(server_.port());
  std::string changed = token_;
  changed.back() = changed.back() == 'a' ? 'b' : 'a';
  const std::string json = "{\"name\":\"ok.bmp\"}";
  struct Case {
    Headers headers;
    int status;
    const char* type = "application/json";
  };
  const Case cases[] = {
      {{{"X-Studio-Token", token_}, {"Origin", origin_}}, 200},
      {{{"Origin", origin_}}, 403},
      {{{"X-Studio-Token", changed}, {"Origin", origin_}}, 403},
      {{{"X-Studio-Token", token_.substr(1)}, {"Origin", origin_}}, 403},
      {{{"X-Studio-Token", token_ + "0"}, {"Origin", origin_}}, 403},
      {{{"X-Studio-Token", token_}}, 403},
      {{{"X-Studio-Token", token_}, {"Origin", "http://127.0.0.1:1"}}, 403},
      {{{"X-Studio-Token", token_}, {"Origin", origin_ + "0"}}, 403},
      {{{"X-Studio-Token", token_}, {"Origin", "null"}}, 403},
      {{{"X-Studio-Token", token_}, {"Origin", origin_}}, 415, "text/plain"},
      {{{"X-Studio-Token", token_}, {"Origin", origin_}}, 415, "application/x-www-form-urlencoded"},
      {{{"X-Studio-Token", token_}, {"Origin", origin_}}, 415, "multipart/form-data"},
  };
  const StudioClient bare(server_.port());
  for (const Case& c : cases) {
    const auto reply = bare.Post("/api/folder-picture", c.headers, json, c.type);
    EXPECT_EQ(statusOf(reply), c.status) << c.type << " " << c.headers.size();
  }
  // Reading needs the token and this server's Host name too; the page
  // itself holds no secret and sets no cookie.
  for (const std::string& host : {"127.0.0.1:" + port + "x", "localhost:" + port + ".evil",
                                  "127.0.0.1:" + port + "0", "evil.example:" + port}) {
    EXPECT_EQ(statusOf(bare.Get("/api/session", {{"X-Studio-Token", token_}, {"Host", host}})), 403)
        << host;
  }
  EXPECT_EQ(statusOf(bare.Get("/api/session", {{"Cookie", "hvx_studio_" + port + "=" + token_}})),
            403);
  // Two Host lines could show the check one name and a proxy another.
  for (const std::string& second : {"evil.example:" + port, "127.0.0.1:" + port}) {
    const std::string reply =
        rawReply(server_.port(), "GET /api/session HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                                     "\r\nHost: " + second + "\r\nX-Studio-Token: " + token_ +
                                     "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(reply.compare(0, 13, "HTTP/1.1 403 "), 0) << reply;
  }
  const auto page = bare.Get("/");
  EXPECT_EQ(statusOf(page), 200);
  EXPECT_FALSE(page->has_header("Set-Cookie"));
  EXPECT_EQ(page->body.find(token_), std::string::npos);
  EXPECT_EQ(statusOf(client_->Get("/api/session", {{"Host", "localhost:" + port}})), 200);
}

// Caps on bodies and the saving rules are tested from node (tests/studio/).
TEST_F(StudioServerTest, RefusesHostileUploadsWithASentence) {
  // A PNG header claiming 100000 x 100000 pixels: refused from its header.
  std::string huge("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\0\0\0\0", 29);
  huge += std::string(4, '\0');
  for (const std::string& hostile : {huge, std::string("GIF89a not really")}) {
    const auto added = client_->Post("/api/picture?name=..%2F..%2Fhostile.png", hostile,
                                     "application/octet-stream");
    ASSERT_EQ(statusOf(added), 200);
    const std::string id = idIn(added, "picture");
    EXPECT_EQ(id.size(), 33u);
    const auto converted = postJson("/api/convert", "{\"picture\":\"" + id + "\"}");
    ASSERT_TRUE(converted);
    EXPECT_EQ(converted->status, 422) << converted->body;
    EXPECT_NE(converted->body.find("cannot be used"), std::string::npos) << converted->body;
    expectServing();
  }
  // Sounds that only begin as one, and bytes of no kind: one sentence at once.
  std::string header(
      "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x01\0\0\0\x02\0\0\0\x02\0\x10\0"
      "data\xff\xff\xff\x7f",
      44);
  for (const std::string& hostile :
       {header, header.substr(0, 12), std::string("fLaC") + std::string(200, '\x7f'),
        std::string("OggS") + std::string(50, '\0'), std::string("FORM\0\0\0\x04AIFF", 12),
        std::string("plain words"), std::string(1000, '\xff')}) {
    const auto added =
        client_->Post("/api/picture?name=%FF%FEnot.wav", hostile, "application/octet-stream");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->status, 422) << added->body;
    EXPECT_TRUE(added->body.find("The sound could not be analysed: ") != std::string::npos ||
                added->body.find("is none of what the studio reads") != std::string::npos)
        << added->body;
    expectServing();
  }
  // A voice cut short, or holding a number no voice holds: the reader's
  // reason, not a list of the kinds the studio reads.
  const auto picture =
      client_->Post("/api/picture?name=ok.bmp", picture64(8), "application/octet-stream");
  const auto converted =
      postJson("/api/convert", "{\"picture\":\"" + idIn(picture, "picture") + "\"}");
  ASSERT_EQ(statusOf(converted), 200);
  const auto voice =
      client_->Get(("/api/result/" + idIn(converted, "result") + "/voice.hvx").c_str());
  ASSERT_EQ(statusOf(voice), 200);
  const auto cut = client_->Post("/api/picture?name=cut.hvx", voice->body.substr(0, 700),
                                 "application/octet-stream");
  EXPECT_EQ(statusOf(cut), 422);
  EXPECT_NE(cut->body.find("is not a voice the studio can read: file ends inside"),
            std::string::npos)
      << cut->body;
  std::string notANumber = voice->body;
  notANumber.replace(notANumber.size() - 20, 4, std::string("\0\0\xc0\x7f", 4));
  const auto damaged =
      client_->Post("/api/picture?name=damaged.hvx", notANumber, "application/octet-stream");
  EXPECT_EQ(statusOf(damaged), 422);
  EXPECT_NE(damaged->body.find("is not a non-negative number"), std::string::npos) << damaged->body;
  // A voice whose name is not UTF-8 opens and plays: the answers replace
  // what is not text.
  std::string named = voice->body;
  named.replace(4, 2, "\xff\xfe");
  const auto opened = client_->Post("/api/picture?name=%FF.hvx", named, "application/octet-stream");
  ASSERT_EQ(statusOf(opened), 200) << opened->body;
  const auto played =
      postJson("/api/convert", "{\"voice\":\"" + idIn(opened, "voice") + "\",\"withVoice\":true}");
  EXPECT_EQ(statusOf(played), 200);
  EXPECT_NE(played->body.find("\"name\":\"\xef\xbf\xbd\xef\xbf\xbd"), std::string::npos);
  EXPECT_EQ(statusOf(postJson("/api/convert", "{\"picture\": 5, \"rows\": \"many\"}")), 400);
  EXPECT_EQ(statusOf(postJson("/api/convert", "not json")), 400);
  expectServing();
}

TEST_F(StudioServerTest, OpensOnlyListedFilesAndSavesOnlyPlainNames) {
  const auto session = client_->Get("/api/session");
  ASSERT_TRUE(session);
  EXPECT_NE(session->body.find("\"pictures\":[\"ok.bmp\"]"), std::string::npos) << session->body;

  for (const char* name : {"../secret.bmp", "link.bmp", ".hidden.bmp", "sub.bmp", "/etc/passwd",
                           "ok.bmp/..", "", "./ok.bmp"}) {
    const auto reply = postJson("/api/folder-picture", std::string("{\"name\":\"") + name + "\"}");
    EXPECT_EQ(statusOf(reply), 404) << name;
  }
  EXPECT_EQ(statusOf(client_->Get("/api/result/r1/../../secret.bmp")), 404);
  expectServing();

  const auto converted =
      postJson("/api/convert", "{\"picture\":\"" + pickedPicture("ok.bmp") + "\"}");
  ASSERT_EQ(statusOf(converted), 200) << converted->body;
  const std::string result = idIn(converted, "result");
  EXPECT_EQ(
      statusOf(postJson("/api/save", "{\"result\":\"" + result + "\",\"file\":\"../x.hvx\"}")),
      404);
  // A link under the save's name stays as it is, and so does what it leads to.
  const std::string link = folder_ + "/ok-prepared.hvx";
  ASSERT_EQ(::symlink(dir_.file("secret.bmp").c_str(), link.c_str()), 0);
  const auto overLink =
      postJson("/api/save", R"({"result":")" + result + R"(","file":"voice.hvx","replace":true})");
  ASSERT_EQ(statusOf(overLink), 409);
  EXPECT_NE(overLink->body.find("is a link; the studio writes no file through a link"),
            std::string::npos)
      << overLink->body;
  EXPECT_EQ(readFileBytes(dir_.file("secret.bmp")), picture64(8));
  struct stat entry {};
  ASSERT_EQ(::lstat(link.c_str(), &entry), 0);
  EXPECT_TRUE(S_ISLNK(entry.st_mode));
  expectServing();
}

// Two hundred clients that send a header line every 1.5 s and never a whole
// request, with no token: an ordinary request beside them is answered at
// once, and each of them is dropped a few seconds after its first byte.
TEST_F(StudioServerTest, OpensAVoiceAndSavesItsEditOnlyOverItselfWhenAsked) {
  ToneOptions options;
  options.whole('f') = 30;
  const std::string original = convertLikeTonepix(picture64(8), "pad", options, 3).voice;
  ASSERT_TRUE(writeFileBytes(folder_ + "/pad.hvx", original));
  const auto added = postJson("/api/folder-picture", "{\"name\":\"pad.hvx\"}");
  ASSERT_EQ(statusOf(added), 200) << added->body;
  const std::string voice = idIn(added, "voice");
  const auto turn = [&](const std::string& fields) {
    const auto reply = postJson("/api/convert", "{\"voice\":\"" + voice + "\"" + fields + "}");
    EXPECT_EQ(statusOf(reply), 200) << reply->body;
    return nlohmann::json::parse(reply->body);
  };
  const auto fileOf = [&](const nlohmann::json& result) {
    return client_
        ->Get(("/api/result/" + result["result"].get<std::string>() + "/voice.hvx").c_str())
        ->body;
  };
  // As it is: the same bytes, played as they are.
  nlohmann::json shown = turn("");
  EXPECT_EQ(fileOf(shown), original);
  EXPECT_EQ(shown["opened"]["rows"], 10);
  EXPECT_EQ(shown["opened"]["loopStartRow"], 3);
  EXPECT_EQ(shown["opened"]["loopEndRow"], 8);
  EXPECT_EQ(shown["opened"]["edited"], false);
  EXPECT_EQ(shown["voiceFile"], "pad-edited.hvx");
  EXPECT_EQ(shown["command"], "") << "detuned: no picture makes it";
  EXPECT_EQ(shown["opened"]["loopMovable"], true);
  // An edit and a moved loop.
  nlohmann::json levels = shown["prepared"]["grid"];
  levels[64 * 2 + 1] = 255;
  shown = turn(",\"levels\":" + levels.dump() + ",\"loopStart\":1,\"loopEnd\":6");
  EXPECT_EQ(shown["opened"]["edited"], true);
  EXPECT_EQ(shown["prepared"]["grid"], levels);
  EXPECT_EQ(shown["opened"]["loopStartRow"], 1);
  EXPECT_EQ(shown["opened"]["loopEndRow"], 6);
  const std::string edited = fileOf(shown);
  ASSERT_EQ(edited.size(), original.size());
  EXPECT_NE(edited, original);
  // Refused edits say why.
  EXPECT_EQ(statusOf(postJson("/api/convert",
                              "{\"voice\":\"" + voice + "\",\"loopStart\":7,\"loopEnd\":2}")),
            422);
  EXPECT_EQ(statusOf(postJson("/api/convert", "{\"voice\":\"" + voice + "\",\"levels\":[1,2,3]}")),
            422);
  EXPECT_EQ(statusOf(postJson("/api/convert", "{\"voice\":\"v00\"}")), 422);

  // Saved under its new name; over the file opened only once the user agreed.
  const auto save = [&](const std::string& fields) {
    return postJson("/api/save", "{\"result\":\"" + shown["result"].get<std::string>() +
                                     "\",\"file\":\"voice.hvx\"" + fields + "}");
  };
  EXPECT_EQ(statusOf(save("")), 200);
  EXPECT_EQ(readFileBytes(folder_ + "/pad-edited.hvx"), edited);
  const auto asked = save(",\"as\":\"pad.hvx\"");
  EXPECT_EQ(statusOf(asked), 409);
  EXPECT_NE(asked->body.find("is the voice you opened"), std::string::npos) << asked->body;
  EXPECT_NE(asked->body.find("\"exists\":\"pad.hvx\""), std::string::npos) << asked->body;
  EXPECT_EQ(readFileBytes(folder_ + "/pad.hvx"), original);
  for (const char* name : {"../pad.hvx", "pad.bmp", ".hvx", "sub/x.hvx", "two\\nlines.hvx",
                           "bell\\u0007.hvx", "del\\u007f.hvx"}) {
    EXPECT_EQ(statusOf(save(std::string(",\"as\":\"") + name + "\",\"replace\":true")), 400)
        << name;
  }
  EXPECT_EQ(statusOf(save(",\"as\":\"pad.hvx\",\"replace\":true")), 200);
  EXPECT_EQ(readFileBytes(folder_ + "/pad.hvx"), edited);
  // A picture's save never takes another name, nor replaces its picture.
  const auto picture =
      postJson("/api/convert", "{\"picture\":\"" + pickedPicture("ok.bmp") + "\"}");
  const auto renamed = postJson("/api/save", "{\"result\":\"" + idIn(picture, "result") +
                                                 "\",\"file\":\"voice.hvx\",\"as\":\"ok.bmp\"," +
                                                 "\"replace\":true}");
  EXPECT_EQ(statusOf(renamed), 200);
  EXPECT_EQ(idIn(renamed, "saved"), "ok-prepared.hvx");

  // A voice kept under a picture's name, whose picture takes that name: the
  // picture never replaces it, agreed or not; only its edit may.
  options.whole('f') = 0;
  const std::string tone = convertLikeTonepix(picture64(8), "tone", options, 3).voice;
  ASSERT_TRUE(writeFileBytes(folder_ + "/tone.bmp", tone));
  const auto toneResult = postJson(
      "/api/convert",
      "{\"voice\":\"" + idIn(postJson("/api/folder-picture", "{\"name\":\"tone.bmp\"}"), "voice") +
          "\"}");
  ASSERT_EQ(statusOf(toneResult), 200) << toneResult->body;
  ASSERT_EQ(idIn(toneResult, "bitmapFile"), "tone.bmp");
  const auto overVoice = postJson("/api/save", "{\"result\":\"" + idIn(toneResult, "result") +
                                                   "\",\"file\":\"picture.bmp\",\"replace\":true}");
  EXPECT_EQ(statusOf(overVoice), 409) << overVoice->body;
  EXPECT_EQ(readFileBytes(folder_ + "/tone.bmp"), tone);
}

// A voice tonepix makes from a picture is offered with that picture under the
// voice's own name, whatever the file is called; a voice with nothing to draw
// is refused.
TEST_F(StudioServerTest, AnOpenedVoiceOffersItsPictureUnderTheNameTonepixGaveIt) {
  const auto uploaded =
      client_->Post("/api/picture?name=pad.png", picture64(8), "application/octet-stream");
  const auto made =
      postJson("/api/convert", "{\"picture\":\"" + idIn(uploaded, "picture") + "\",\"detune\":0}");
  ASSERT_EQ(statusOf(made), 200) << made->body;
  const nlohmann::json picture = nlohmann::json::parse(made->body);
  const auto fileOf = [&](const nlohmann::json& result, const std::string& file) {
    return client_->Get(("/api/result/" + result["result"].get<std::string>() + "/" + file).c_str())
        ->body;
  };
  const auto opened = [&](const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(writeFileBytes(folder_ + "/" + name, bytes));
    const auto added = postJson("/api/folder-picture", "{\"name\":\"" + name + "\"}");
    const auto reply = postJson("/api/convert", "{\"voice\":\"" + idIn(added, "voice") + "\"}");
    EXPECT_EQ(statusOf(reply), 200) << reply->body;
    return nlohmann::json::parse(reply->body);
  };
  const std::string voice = fileOf(picture, "voice.hvx");
  const nlohmann::json copy = opened("copy.hvx", voice);
  EXPECT_EQ(copy["opened"]["tonepixMakes"], true);
  EXPECT_EQ(copy["bitmapFile"], "pad.bmp");
  EXPECT_EQ(copy["command"], "tonepix -f0 pad.bmp");
  EXPECT_EQ(fileOf(copy, "picture.bmp"), fileOf(picture, "picture.bmp"));
  EXPECT_EQ(fileOf(copy, "voice.png"), fileOf(picture, "voice.png")) << "drawn the same way up";
  // The picture is saved as a picture, whatever name a client asks for.
  const auto saved = postJson("/api/save", "{\"result\":\"" + copy["result"].get<std::string>() +
                                               "\",\"file\":\"picture.bmp\",\"as\":\"copy.hvx\"," +
                                               "\"replace\":true}");
  EXPECT_EQ(statusOf(saved), 200);
  EXPECT_EQ(idIn(saved, "saved"), "pad.bmp");
  EXPECT_EQ(readFileBytes(folder_ + "/copy.hvx"), voice);

  // A voice without amplitude breakpoints has no grid to open.
  auto silent = std::make_unique<Voice>();
  VoiceReadError readError;
  ASSERT_TRUE(readVoice(reinterpret_cast<const unsigned char*>(voice.data()), voice.size(), *silent,
                        readError));
  for (EnvelopeSet& set : silent->sets) {
    for (Envelope& envelope : set.amplitudeEnvelopes) {
      envelope.count = 0;
    }
  }
  const auto empty = client_->Post("/api/picture?name=silent.hvx", encodeVoiceFile(*silent),
                                   "application/octet-stream");
  EXPECT_EQ(statusOf(empty), 422);
  EXPECT_NE(empty->body.find("cannot be opened"), std::string::npos) << empty->body;
}

TEST_F(StudioServerTest, TricklingClientsHoldNothing) {
  std::vector<int> slow;
  for (int i = 0; i < 200; ++i) {
    slow.push_back(connectTo(server_.port()));
    ASSERT_TRUE(sendText(slow.back(), "GET /api/session HTTP/1.1\r\n"));
  }
  const Clock::time_point start = Clock::now();
  Clock::duration slowest{};
  for (int turn = 1; turn <= 5; ++turn) {
    std::this_thread::sleep_until(start + turn * std::chrono::milliseconds(1500));
    for (const int fd : slow) {
      sendText(fd, "X-Slow: " + std::to_string(turn) + "\r\n");
    }
    const Clock::time_point asked = Clock::now();
    expectServing();
    slowest = std::max(slowest, Clock::now() - asked);
  }
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count(), 500);
  int dropped = 0;
  for (const int fd : slow) {
    char byte = 0;
    const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    dropped += got == 0 || (got < 0 && errno == ECONNRESET) ? 1 : 0;
    ::close(fd);
  }
  EXPECT_EQ(dropped, 200);
}

// The editor's calls are behind the token like every other; the page's
// scripts and style are not (they hold no secret) but still need this
// server's Host name.
TEST_F(StudioServerTest, EditorCallsNeedTheTokenAndPageFilesTheHostName) {
  const StudioClient stranger(server_.port());
  const std::string grid =
      nlohmann::json{{"grid", {{"levels", std::vector<int>(64, 9)}}}, {"withVoice", true}}.dump();
  EXPECT_EQ(statusOf(stranger.Post("/api/convert", grid, "application/json")), 403);
  EXPECT_EQ(
      statusOf(stranger.Post("/api/note", R"({"result":"r1","note":"A4"})", "application/json")),
      403);
  EXPECT_EQ(statusOf(stranger.Post("/api/voice", R"({"result":"r1"})", "application/json")), 403);
  EXPECT_EQ(statusOf(stranger.Get("/page.html")), 403);
  const auto script = stranger.Get("/grid.js");
  ASSERT_EQ(statusOf(script), 200);
  EXPECT_EQ(script->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
  EXPECT_NE(script->body.find("export class GridEditor"), std::string::npos);
  EXPECT_EQ(stranger.Get("/style.css")->get_header_value("Content-Type"),
            "text/css; charset=utf-8");
  const std::string port = std::to_string(server_.port());
  EXPECT_EQ(statusOf(stranger.Get("/grid.js", {{"Host", "evil.example:" + port}})), 403);
  EXPECT_EQ(statusOf(stranger.Post("/grid.js", "", "application/json")), 403);
  expectServing();
}

// A drawn grid becomes the picture as it is: the prepared bitmap holds its
// levels, point 0 first, whatever the preparation settings say. It is
// converted in the same request, whose answer can carry the envelopes.
TEST_F(StudioServerTest, DrawnGridIsThePreparedBitmapAndPlaysAtANote) {
  PreparedPicture drawn;
  drawn.rows = 5;
  drawn.sourceWidth = 64;
  drawn.sourceHeight = 5;
  nlohmann::json levels = nlohmann::json::array();
  for (int i = 0; i < 5 * 64; ++i) {
    drawn.grid.push_back(static_cast<std::uint8_t>((i * 53 + 7) % 256));
    levels.push_back(drawn.grid.back());
  }
  // A name that tonepix would take for an option is shown as a path.
  const auto converted =
      postJson("/api/convert", nlohmann::json{{"grid", {{"levels", levels}, {"name", "-t1.png"}}},
                                              {"rows", 9},
                                              {"topFirst", true},
                                              {"invert", true},
                                              {"withVoice", true}}
                                   .dump());
  ASSERT_EQ(statusOf(converted), 200) << converted->body;
  const nlohmann::json answer = nlohmann::json::parse(converted->body);
  const std::string result = answer.at("result");
  EXPECT_EQ(answer.at("voice").at("loopEnd").get<double>(), 1.5);  // 5 rows of 0.3 s
  const std::string command = answer.at("command");
  EXPECT_EQ(command.substr(command.rfind(' ')), " ./-t1.bmp") << command;
  // The drawn picture stays: another turn converts it by its id.
  const auto again = postJson(
      "/api/convert", nlohmann::json{{"picture", answer.at("picture")}, {"ceiling", 20}}.dump());
  ASSERT_EQ(statusOf(again), 200) << again->body;
  EXPECT_EQ(nlohmann::json::parse(again->body).count("voice"), 0U);
  const auto bitmap = client_->Get(("/api/result/" + result + "/picture.bmp").c_str());
  ASSERT_EQ(statusOf(bitmap), 200);
  EXPECT_TRUE(bitmap->body == encodePreparedBitmap(drawn)) << "the drawn levels, as drawn";

  const auto note = postJson("/api/note", R"({"result":")" + result + R"(","note":"C4"})");
  ASSERT_EQ(statusOf(note), 200) << note->body;
  EXPECT_EQ(note->body.compare(0, 4, "RIFF"), 0);
  EXPECT_EQ(statusOf(postJson("/api/note", R"({"result":")" + result + R"(","note":"H4"})")), 422);
  EXPECT_EQ(
      statusOf(postJson("/api/note", R"({"result":")" + result + R"(","note":"C4","hold":31})")),
      422);
  EXPECT_EQ(statusOf(postJson("/api/note", R"({"result":"r999","note":"C4"})")), 404);
  const auto voice = postJson("/api/voice", R"({"result":")" + result + R"("})");
  ASSERT_EQ(statusOf(voice), 200);
  EXPECT_EQ(nlohmann::json::parse(voice->body).at("loopEnd").get<double>(),
            1.5);  // 5 rows of 0.3 s
  EXPECT_EQ(statusOf(postJson("/api/voice", R"({"result":5})")), 404);

  for (const std::string& bad :
       {std::string(R"({"levels": [1, 2, 3]})"), std::string(R"({"levels": "many"})"),
        std::string(R"({"levels": []})"),
        nlohmann::json{{"levels", std::vector<int>(63, 1)}}.dump(),
        nlohmann::json{{"levels", std::vector<int>(64, 256)}}.dump(),
        nlohmann::json{{"levels", std::vector<int>(64, -1)}}.dump(),
        nlohmann::json{{"levels", std::vector<double>(64, 0.5)}}.dump(),
        nlohmann::json{{"levels", std::vector<int>(129 * 64, 1)}}.dump(), std::string("5"),
        std::string("null"), std::string("[]")}) {
    EXPECT_EQ(statusOf(postJson("/api/convert", R"({"grid":)" + bad + "}")), 400)
        << bad.substr(0, 40);
  }
  expectServing();
}

// Quick changes drop previews not yet rendered; one still asked for is
// rendered then, the same as if it had never waited.
TEST_F(StudioServerTest, EveryPreviewAskedForIsPlayable) {
  const std::string id = pickedPicture("ok.bmp");
  std::vector<std::string> results;
  for (int turn = 0; turn < 4; ++turn) {
    const auto converted = postJson("/api/convert", "{\"picture\":\"" + id + "\",\"hold\":1}");
    ASSERT_EQ(statusOf(converted), 200);
    results.push_back(idIn(converted, "result"));
  }
  std::string previous;
  for (const std::string& result : results) {
    const auto wav = client_->Get(("/api/result/" + result + "/preview.wav").c_str());
    ASSERT_EQ(statusOf(wav), 200) << result;
    EXPECT_EQ(wav->body.compare(0, 4, "RIFF"), 0);
    EXPECT_TRUE(previous.empty() || wav->body == previous);
    previous = wav->body;
  }
}

// The conversion path against the built tonepix: same bytes, same messages.
TEST(StudioConversion, MatchesTonepixWithTheSameOptions) {
  TempDir dir;
  const std::string bitmap = picture64(40);
  ASSERT_TRUE(writeFileBytes(dir.file("swatch.bmp"), bitmap));
  ToneOptions options;
  options.whole('t') = 80;  // clamped, with tonepix's warning
  options.interval = "0.45";
  options.whole('p') = 30;
  options.whole('z') = 20;
  options.whole('n') = 70;
  options.whole('f') = 0;
  std::vector<std::string> texts;
  std::string error;
  ASSERT_TRUE(toneOptionTexts(options, texts, error));
  const ToneConversion studio = convertLikeTonepix(bitmap, "swatch", options, 99);
  ASSERT_TRUE(studio.converted) << studio.error;
  texts.push_back("swatch.bmp");
  const RunResult tonepix = runTonepix(texts, dir.path());
  EXPECT_EQ(studio.voice, readFileBytes(dir.file("swatch.hvx")));
  EXPECT_EQ(studio.summary + "\n", tonepix.out);
  EXPECT_EQ(studio.messages, tonepix.err);
  EXPECT_EQ(studio.messages, "-t: harmonic too high, defaulting to 64\n");
  int points = 0, loopStart = 0, loopEnd = 0;
  ASSERT_EQ(std::sscanf(tonepix.out.c_str(), "%d = %d .. %d", &points, &loopStart, &loopEnd), 3);
  EXPECT_EQ(studio.loopStartPoint, loopStart);
  EXPECT_EQ(studio.loopEndPoint, loopEnd);

  options.useTempo = true;
  options.interval = "0.3;rm -rf /";  // ignored with a tempo, refused otherwise
  EXPECT_TRUE(toneOptionTexts(options, texts, error));
  options.useTempo = false;
  EXPECT_FALSE(toneOptionTexts(options, texts, error));
}

TEST(StudioConversion, TheSeedRepeatsEveryRandomStage) {
  const std::string bitmap = picture64(16);
  ToneOptions options;
  options.whole('d') = 30;
  options.whole('r') = 20;
  std::vector<std::string> texts;
  std::string error;
  ASSERT_TRUE(toneOptionTexts(options, texts, error));
  const std::string first = convertLikeTonepix(bitmap, "s", options, 5).voice;
  EXPECT_EQ(convertLikeTonepix(bitmap, "s", options, 5).voice, first);
  EXPECT_NE(convertLikeTonepix(bitmap, "s", options, 6).voice, first);
}

// Messages come as tonepix writes them, naming the picture as the user knows
// it; a message longer than the usual line arrives whole.
TEST(StudioConversion, MessagesArriveAsTonepixWritesThem) {
  const ToneConversion refused = convertLikeTonepix(std::string(30, 'x'), "odd", ToneOptions(), 1);
  EXPECT_FALSE(refused.converted);
  EXPECT_EQ(refused.messages,
            "Input file: \"odd.bmp\", Doesn't look like a bitmap file! Skipping...\n");
  std::string collected;
  MessageSink sink;
  sink.collect = [](void* context, const char* text, std::size_t length) {
    static_cast<std::string*>(context)->append(text, length);
  };
  sink.context = &collected;
  const std::string word(2000, 'q');
  say(sink, "Unknown argument: %s\n", word.c_str());
  EXPECT_EQ(collected, "Unknown argument: " + word + "\n");
}

// Names from the client become download and save names: nothing in them may
// reach outside the folder or hide a file.
TEST(StudioNames, EveryUploadNameBecomesAPlainVoiceName) {
  const std::pair<const char*, const char*> cases[] = {{"pad.png", "pad"},
                                                       {"pad.bmp", "pad-prepared"},
                                                       {"../../etc/passwd", "passwd"},
                                                       {"C:\\pics\\x.v2.bmp", "x_v2-prepared"},
                                                       {".bashrc", "picture_bashrc"},
                                                       {"", "picture"},
                                                       {"a b\"c'd.jpg", "a_b_c_d"},
                                                       {"/", "picture"},
                                                       {"..", "picture_"},
                                                       {"photo.BMP", "photo-prepared"}};
  for (const auto& [upload, expected] : cases) {
    const OutputNames names = outputNamesFor(upload);
    EXPECT_EQ(names.stem, expected) << upload;
    EXPECT_EQ(names.bitmap, names.stem + ".bmp") << upload;
    EXPECT_EQ(names.voice, names.stem + ".hvx") << upload;
    EXPECT_TRUE(isPlainFileName(names.bitmap)) << upload;
  }
  EXPECT_EQ(voiceNameFor(std::string(300, 'x') + ".png").size(), 60u);
}

TEST(StudioRequests, RefusesWhatNoControlCanSend) {
  const char* refused[] = {R"({"rows": 127})",         R"({"rows": -1})",    R"({"seed": -1})",
                           R"({"seed": 4294967296})",  R"({"hold": 31})",    R"({"hold": -0.5})",
                           R"({"harmonics": "many"})", R"({"topFirst": 1})", R"([1, 2])",
                           R"({"interval": [0.3]})"};
  for (const char* body : refused) {
    StudioRequest request;
    std::string error;
    EXPECT_FALSE(studioRequestFromJson(nlohmann::json::parse(body), request, error)) << body;
    EXPECT_FALSE(error.empty()) << body;
  }
  StudioRequest request;
  std::string error;
  ASSERT_TRUE(studioRequestFromJson(
      nlohmann::json::parse(
          R"({"rows": 126, "seed": 4294967295, "hold": 30, "plateau": 5000, "harmonics": -3,
              "ceiling": 9223372036854775807, "noiseFloor": -1e300})"),
      request, error));
  EXPECT_TRUE(
      request.prepare.plateau);  // tonepix clamps 5000 to 100: plateau mode, at most 64 rows
  EXPECT_EQ(request.tone.whole('t'), -3);  // passed on for tonepix to clamp and say so
  // Past nine digits tonepix would wrap: brought within them, so that it says "too high".
  EXPECT_EQ(request.tone.whole('n'), 999999999);
  EXPECT_EQ(request.tone.whole('z'), -999999999);
  EXPECT_EQ(request.seed, 4294967295u);
}

TEST(StudioRequests, AVoiceTurnTakesOnlyLevelsAndRowsAVoiceCanHold) {
  const char* refused[] = {R"({"levels": [1, 2]})",
                           R"({"voice": 5})",
                           R"({"voice": "v1", "levels": [256]})",
                           R"({"voice": "v1", "levels": [-1]})",
                           R"({"voice": "v1", "levels": [1.5]})",
                           R"({"voice": "v1", "levels": ["7"]})",
                           R"({"voice": "v1", "levels": 7})",
                           R"({"voice": "v1", "loopStart": 128})",
                           R"({"voice": "v1", "loopEnd": -1})",
                           R"({"voice": "v1", "loopEnd": 2.5})",
                           R"({"voice": "v1", "hold": 31})"};
  for (const char* body : refused) {
    VoiceTurn turn;
    std::string error;
    EXPECT_FALSE(voiceTurnFromJson(nlohmann::json::parse(body), turn, error)) << body;
    EXPECT_FALSE(error.empty()) << body;
  }
  VoiceTurn turn;
  std::string error;
  ASSERT_TRUE(voiceTurnFromJson(
      nlohmann::json::parse(R"({"voice": "v1", "levels": [0, 255], "loopEnd": 127})"), turn, error))
      << error;
  EXPECT_EQ(turn.edit.levels, (std::vector<std::uint8_t>{0, 255}));
  EXPECT_EQ(turn.edit.loopStartRow, -1);
  EXPECT_EQ(turn.edit.loopEndRow, 127);
}

}  // namespace
