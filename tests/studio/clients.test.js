// The studio from plain HTTP clients: bodies refused from their headers,
// the saving rules, slow clients that must not delay the page, many clients
// that must each get their own result, and a prompt stop with clients open.
//   node clients.test.js BIN_DIR WORK_DIR
"use strict";
const assert = require("node:assert/strict");
const fs = require("node:fs");
const http = require("node:http");
const net = require("node:net");
const zlib = require("node:zlib");
const os = require("node:os");
const path = require("node:path");
const { startStudio, makePicture } = require("./harness.js");

// A sanitized build spends seconds in its leak scan as the process exits;
// scripts/ci-hardening.sh allows for it.
const stopBoundMs = Number(process.env.STUDIO_STOP_BOUND_MS || 500);
// Fifty previews render two at a time, several times slower when sanitized.
const answerBoundMs = Number(process.env.STUDIO_ANSWER_BOUND_MS || 5000);

const [binDir] = process.argv.slice(2);

function request(studio, method, url, body, type) {
  return new Promise((resolve, reject) => {
    const headers = { "X-Studio-Token": studio.token, "Origin": studio.origin };
    if (body !== undefined) Object.assign(headers, { "Content-Type": type, "Content-Length": body.length });
    const sent = http.request({ host: "127.0.0.1", port: studio.port, method, path: url, headers, agent: false },
      (response) => {
        const chunks = [];
        response.on("data", (chunk) => chunks.push(chunk));
        response.on("end", () => resolve({ status: response.statusCode, body: Buffer.concat(chunks) }));
      });
    sent.on("error", reject);
    sent.setTimeout(answerBoundMs, () => sent.destroy(new Error(method + " " + url + ": no answer within " + answerBoundMs + " ms")));
    sent.end(body);
  });
}

const json = (reply) => JSON.parse(reply.body.toString("utf8"));

// The answer to `text` sent on a plain connection, read until the end of
// its JSON body: for requests whose body is never sent.
function rawReply(studio, text) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(studio.port, "127.0.0.1");
    let reply = "";
    socket.on("data", (chunk) => {
      reply += chunk;
      if (reply.includes("}")) { socket.destroy(); resolve(reply); }
    });
    socket.on("error", reject);
    socket.write(text);
  });
}

// Bodies refused from their headers, before a byte is read: a length over
// the route's cap, no length at all (chunked, which could grow past any cap
// unseen), or a type the route does not take, each with its own sentence.
async function bodiesRefusedFromTheirHeaders(studio) {
  const post = (path, headers) => rawReply(studio, "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + studio.port +
    "\r\nX-Studio-Token: " + studio.token + "\r\nOrigin: " + studio.origin + "\r\n" + headers + "\r\n");
  const upload = "Content-Type: application/octet-stream\r\n";
  const tooLarge = await post("/api/picture", upload + "Content-Length: " + (32 * 1048576 + 1) + "\r\n");
  assert.match(tooLarge, /^HTTP\/1.1 413 [^]*larger than the studio accepts \(32 MiB\)/);
  assert.match(await post("/api/picture", upload + "Transfer-Encoding: chunked\r\n"), /^HTTP\/1.1 411 /);
  const bigJson = await post("/api/convert", "Content-Type: application/json\r\nContent-Length: 131073\r\n");
  assert.match(bigJson, /^HTTP\/1.1 413 [^]*\(128 KiB\)/);
  const form = await request(studio, "POST", "/api/picture?name=a.png", Buffer.alloc(9000, 120),
                             "application/x-www-form-urlencoded");
  assert.equal(form.status, 415);
  assert.doesNotMatch(form.body.toString(), /MiB/);
}

// Saved under the command line's names; a file there is replaced only once
// the page asked, never the picture itself, never through a link.
async function savingRules(studio, folder, outside) {
  const picked = json(await request(studio, "POST", "/api/folder-picture", Buffer.from('{"name":"ok.bmp"}'), "application/json"));
  const turn = Buffer.from(JSON.stringify({ picture: picked.picture, detune: 0 }));
  const result = json(await request(studio, "POST", "/api/convert", turn, "application/json"));
  assert.equal(result.command, "tonepix -t64 -i0.3 -p0 -d0 -r0 -z0 -n40 -f0 ok-prepared.bmp");
  const save = (file, replace) => request(studio, "POST", "/api/save",
    Buffer.from(JSON.stringify({ result: result.result, file, replace })), "application/json");
  const inFolder = (name) => path.join(folder, name);
  // A folder picture one byte over the cap (sparse) is refused unread.
  fs.writeFileSync(inFolder("big.bmp"), "");
  fs.truncateSync(inFolder("big.bmp"), 32 * 1048576 + 1);
  const big = await request(studio, "POST", "/api/folder-picture", Buffer.from('{"name":"big.bmp"}'), "application/json");
  assert.match(big.status + " " + big.body, /^404 .*larger than the studio accepts \(32 MiB\)/);
  fs.unlinkSync(inFolder("big.bmp"));
  assert.equal((await save("voice.hvx", false)).status, 200);
  const voice = (await request(studio, "GET", "/" + result.files.voice)).body;
  assert.ok(fs.readFileSync(inFolder("ok-prepared.hvx")).equals(voice));
  fs.writeFileSync(inFolder("ok-prepared.hvx"), "mine");
  const asked = await save("voice.hvx", false);
  assert.equal(asked.status, 409);
  assert.equal(json(asked).exists, "ok-prepared.hvx");
  assert.equal(fs.readFileSync(inFolder("ok-prepared.hvx"), "utf8"), "mine");
  assert.equal((await save("voice.hvx", true)).status, 200);
  assert.ok(fs.readFileSync(inFolder("ok-prepared.hvx")).equals(voice));
  const source = fs.readFileSync(inFolder("ok.bmp"));
  fs.linkSync(inFolder("ok.bmp"), inFolder("ok-prepared.bmp"));
  assert.equal((await save("picture.bmp", true)).status, 409);
  assert.ok(fs.readFileSync(inFolder("ok.bmp")).equals(source));
  fs.unlinkSync(inFolder("ok-prepared.bmp"));
  fs.writeFileSync(outside, "outside");
  fs.symlinkSync(outside, inFolder("ok-prepared.bmp"));
  assert.equal((await save("picture.bmp", true)).status, 409);
  assert.equal(fs.readFileSync(outside, "utf8"), "outside");
}

// A grey PNG of `width` x `height` pixels, one bright pixel a row: small
// to send, slow to decode.
function greyPng(width, height) {
  const chunk = (type, data) => {
    const length = Buffer.alloc(4);
    length.writeUInt32BE(data.length);
    const crc = Buffer.alloc(4);
    crc.writeUInt32BE(zlib.crc32(Buffer.concat([Buffer.from(type), data])) >>> 0);
    return Buffer.concat([length, Buffer.from(type), data, crc]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = 8;  // bits per sample; colour type 0: grey
  const rows = Buffer.alloc((width + 1) * height, 0);
  for (let y = 0; y < height; ++y) rows[y * (width + 1) + 1 + (y % width)] = 255;
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk("IHDR", header),
                        chunk("IDAT", zlib.deflateSync(rows, { level: 1 })), chunk("IEND", Buffer.alloc(0))]);
}

// One client's slow decode holds nothing another client's turn waits for.
async function slowDecodeDelaysNoOne(studio, picture) {
  const add = async (name, bytes) =>
    json(await request(studio, "POST", "/api/picture?name=" + name, bytes, "application/octet-stream")).picture;
  const big = await add("big.png", greyPng(3000, 3000));
  const small = await add("small.bmp", picture);
  const finished = [];
  const convert = (id, name) => request(studio, "POST", "/api/convert", Buffer.from(JSON.stringify({ picture: id, hold: 0 })),
                                        "application/json").then((reply) => finished.push(name + " " + reply.status));
  const slow = convert(big, "big");
  await new Promise((done) => setTimeout(done, 50));
  await convert(small, "small");
  await slow;
  assert.deepEqual(finished, ["small 200", "big 200"]);
}

// Eight clients that send one header line every three seconds and never a token.
async function slowClientsDelayNoOne(studio) {
  const slow = [];
  for (let i = 0; i < 8; ++i) {
    const socket = net.connect(studio.port, "127.0.0.1");
    socket.on("error", () => {});
    socket.write("GET /api/session HTTP/1.1\r\nHost: 127.0.0.1:" + studio.port + "\r\n");
    slow.push({ socket, timer: setInterval(() => socket.write("X-Slow: " + i + "\r\n"), 3000) });
  }
  try {
    await new Promise((done) => setTimeout(done, 300));
    const delays = [];
    for (let i = 0; i < 8; ++i) {
      const start = performance.now();
      const reply = await request(studio, "GET", "/api/session");
      assert.equal(reply.status, 200);
      delays.push(performance.now() - start);
      await new Promise((done) => setTimeout(done, 500));
    }
    assert.ok(Math.max(...delays) < 1000, "slow clients delayed a request: " + delays.map(Math.round).join(", ") + " ms");
    return Math.max(...delays);
  } finally {
    for (const { socket, timer } of slow) { clearInterval(timer); socket.destroy(); }
  }
}

// Fifty clients convert at once, each its own picture and options, then
// fetch their own voice and preview.
async function parallelClientsGetTheirOwnResults(studio, picture) {
  const client = async (i) => {
    const added = await request(studio, "POST", "/api/picture?name=c" + i + ".bmp", picture, "application/octet-stream");
    assert.equal(added.status, 200, added.body.toString());
    const turn = JSON.stringify({ picture: json(added).picture, harmonics: 1 + i, detune: 0, hold: 0.5 });
    const converted = await request(studio, "POST", "/api/convert", Buffer.from(turn), "application/json");
    assert.equal(converted.status, 200, converted.body.toString());
    const result = json(converted);
    assert.equal(result.harmonics, 1 + i);
    for (const file of [result.files.voice, result.files.preview]) {
      const fetched = await request(studio, "GET", "/" + file);
      assert.equal(fetched.status, 200, "client " + i + " lost its " + file);
    }
  };
  const outcomes = await Promise.allSettled(Array.from({ length: 50 }, (_, i) => client(i)));
  const failed = outcomes.filter((outcome) => outcome.status === "rejected");
  assert.equal(failed.length, 0, failed.length + " of 50 clients failed; first: " + (failed[0] && failed[0].reason));
}

async function main() {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "hvx-studio-clients-"));
  const folder = path.join(scratch, "folder");
  fs.mkdirSync(folder);
  const picturePath = path.join(folder, "ok.bmp");
  makePicture(binDir, picturePath, 16, "random:3", 64);
  const studio = await startStudio(binDir, folder);
  const stuck = [];
  try {
    await bodiesRefusedFromTheirHeaders(studio);
    await savingRules(studio, folder, path.join(scratch, "outside.bmp"));
    await slowDecodeDelaysNoOne(studio, fs.readFileSync(picturePath));
    const slowest = await slowClientsDelayNoOne(studio);
    await parallelClientsGetTheirOwnResults(studio, fs.readFileSync(picturePath));
    console.log("studio clients test: 5 passed; slowest request beside slow clients " + Math.round(slowest) + " ms");
    // Open at the stop: a client stuck in its headers and an idle one.
    stuck.push(net.connect(studio.port, "127.0.0.1").on("error", () => {}));
    stuck[0].write("GET / HTTP/1.1\r\n");
    const idle = http.request({ host: "127.0.0.1", port: studio.port, path: "/api/session",
                                headers: { "X-Studio-Token": studio.token, "Connection": "keep-alive" } });
    await new Promise((done) => { idle.on("response", (r) => { r.resume(); done(); }); idle.end(); });
    stuck.push(idle.socket);
    await new Promise((done) => setTimeout(done, 100));
  } finally {
    const start = performance.now();
    const ended = await studio.stop();
    for (const socket of stuck) socket.destroy();
    fs.rmSync(scratch, { recursive: true, force: true });
    assert.equal(ended.code, 0);
    assert.ok(performance.now() - start < stopBoundMs, "SIGTERM took " + Math.round(performance.now() - start) + " ms");
  }
}

main().catch((error) => {
  console.error("studio clients test failed:", error);
  process.exit(1);
});
