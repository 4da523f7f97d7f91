// Starts `hvx studio` and a headless Chromium for the browser test and the
// round-trip benchmark.
"use strict";
const { spawn, execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { chromium } = require("playwright-core");

// Runs `hvx studio FOLDER --port 0` and waits for the address it prints.
function startStudio(binDir, folder) {
  return new Promise((resolve, reject) => {
    const child = spawn(path.join(binDir, "hvx"), ["studio", folder, "--port", "0"],
                        { stdio: ["ignore", "pipe", "pipe"] });
    let output = "";
    const timer = setTimeout(() => { child.kill("SIGKILL"); reject(new Error("hvx studio printed no address")); }, 10000);
    child.stderr.on("data", (chunk) => process.stderr.write(chunk));
    child.stdout.on("data", (chunk) => {
      output += chunk;
      const found = /(http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]+))/.exec(output);
      if (found) {
        clearTimeout(timer);
        const exited = new Promise((done) => child.on("exit", (code, signal) => done({ code, signal })));
        resolve({ url: found[1], port: Number(found[2]), token: found[3], origin: "http://127.0.0.1:" + found[2],
                  child, exited, output: () => output,
                  async stop() { child.kill("SIGTERM"); return exited; } });
      }
    });
    child.on("exit", (code) => { clearTimeout(timer); reject(new Error("hvx studio exited with " + code)); });
  });
}

// A fresh profile each time, nothing fetched from anywhere but the studio.
async function launchBrowser(workDir) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "hvx-studio-chromium-"));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    acceptDownloads: true,
    viewport: { width: 1280, height: 860 },
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync",
           "--autoplay-policy=no-user-gesture-required"],
  });
  const close = async () => {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return { context, close };
}

// Waits until the page shows a result other than `previous`, and returns its
// id; throws with the page's error sentence if one appears instead.
async function waitForResult(page, previous) {
  const handle = await page.waitForFunction((old) => {
    const body = document.body;
    if (body.dataset.state === "error") return { error: document.getElementById("error").textContent };
    if (body.dataset.state === "ready" && body.dataset.result && body.dataset.result !== old) {
      return { result: body.dataset.result, roundTrip: Number(body.dataset.roundTrip) };
    }
    return false;
  }, previous || "", { timeout: 20000, polling: 10 });
  const outcome = await handle.jsonValue();
  if (outcome.error) throw new Error("the page shows an error: " + outcome.error);
  return outcome;
}

// Waits until the player holds the rendered preview of `result`.
async function waitForPreview(page, result) {
  await page.waitForFunction((id) => document.body.dataset.preview === id, result, { timeout: 20000, polling: 10 });
}

// Drops the file at `file` on the page's drop zone as a user drags it
// there, named `name`.
async function dropFile(page, file, name) {
  const transfer = await page.evaluateHandle(([bytes, fileName]) => {
    const dropped = new DataTransfer();
    dropped.items.add(new File([new Uint8Array(bytes)], fileName));
    return dropped;
  }, [Array.from(fs.readFileSync(file)), name || path.basename(file)]);
  await page.dispatchEvent("#drop", "drop", { dataTransfer: transfer });
}

function makePicture(binDir, file, height, pattern, width) {
  execFileSync(path.join(binDir, "make_picture"), [file, String(height), pattern, String(width)]);
}

module.exports = { startStudio, launchBrowser, waitForResult, waitForPreview, makePicture, dropFile };
