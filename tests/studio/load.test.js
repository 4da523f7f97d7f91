// The studio under other clients: slow ones without a token must not delay
// the page, and many at once must each get their own result.
//   node load.test.js BIN_DIR WORK_DIR
"use strict";
const assert = require("node:assert/strict");
const fs = require("node:fs");
const http = require("node:http");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");
const { startStudio, makePicture } = require("./harness.js");

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
    sent.setTimeout(5000, () => sent.destroy(new Error(method + " " + url + ": no answer within 5 s")));
    sent.end(body);
  });
}

const json = (reply) => JSON.parse(reply.body.toString("utf8"));

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
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "hvx-studio-load-"));
  const picturePath = path.join(scratch, "p.bmp");
  makePicture(binDir, picturePath, 16, "random:3", 64);
  const studio = await startStudio(binDir, scratch);
  try {
    const slowest = await slowClientsDelayNoOne(studio);
    await parallelClientsGetTheirOwnResults(studio, fs.readFileSync(picturePath));
    console.log("studio load test: 2 passed; slowest request beside slow clients " + Math.round(slowest) + " ms");
  } finally {
    const start = performance.now();
    const ended = await studio.stop();
    fs.rmSync(scratch, { recursive: true, force: true });
    assert.equal(ended.code, 0);
    assert.ok(performance.now() - start < 500, "SIGTERM took " + Math.round(performance.now() - start) + " ms");
  }
}

main().catch((error) => {
  console.error("studio load test failed:", error);
  process.exit(1);
});
