// Round trip of the studio: from an edit to the updated voice picture and a
// playable preview, for a 126-row voice (all the rows tonepix sounds) held
// 2 s. Two kinds of edit: a tonepix option (the ceiling) and a grid
// operation in the editor (invert), which sends the whole grid as the new
// picture. Then from a key, an on-screen click or a MIDI note on to the first
// samples the page's synthesis makes. Prints the median and 95th percentile
// of each; not a test.
//   tests/studio/run.sh BUILD_DIR bench
"use strict";
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { startStudio, launchBrowser, waitForResult, makePicture } = require("./harness.js");

const [binDir, workDir] = process.argv.slice(2);
const changes = 20;

function figures(times) {
  const sorted = [...times].sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.ceil(q * sorted.length) - 1)];
  return "median " + at(0.5).toFixed(0) + " ms, p95 " + at(0.95).toFixed(0) + " ms, min " +
         sorted[0].toFixed(0) + " ms, max " + sorted[sorted.length - 1].toFixed(0) + " ms";
}

async function main() {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "hvx-studio-bench-"));
  const picture = path.join(scratch, "tall.bmp");
  makePicture(binDir, picture, 126, "random:3", 64);
  const studio = await startStudio(binDir, scratch);
  const browser = await launchBrowser(workDir);
  try {
    const page = await browser.context.newPage();
    // A stand-in MIDI keyboard, played through its handler.
    await page.addInitScript(() => {
      const input = { name: "Stand-in Keys", onmidimessage: null };
      window.standInMidi = input;
      navigator.requestMIDIAccess = async () => ({ inputs: new Map([["1", input]]), onstatechange: null });
    });
    await page.goto(studio.url);
    let shown = await waitForResult(page, "");
    await page.fill("#hold", "2");
    await page.setInputFiles("#file", picture);
    shown = await waitForResult(page, shown.result);
    const summary = await page.textContent("#summary");
    // The server's own CPU time, which the machine's other load does not inflate.
    const ticksPerSecond = Number(execFileSync("getconf", ["CLK_TCK"], { encoding: "utf8" }));
    const cpuSeconds = () => {
      const fields = fs.readFileSync("/proc/" + studio.child.pid + "/stat", "utf8").split(") ")[1].split(" ");
      return (Number(fields[11]) + Number(fields[12])) / ticksPerSecond;  // utime + stime
    };
    // The clock runs from the user's action to the moment both the picture
    // and the player are ready.
    // The clock runs from the user's action to the moment the picture is on
    // show and the voice can be played, then on to the rendered preview file
    // loaded in the player. The next change waits for both.
    const measure = (action, argument) => page.evaluate(([kind, value]) => new Promise((resolve) => {
      const before = document.body.dataset.result;
      const start = performance.now();
      if (kind === "option") {
        const input = document.getElementById("ceiling");
        input.value = String(value);
        input.dispatchEvent(new Event("input"));
      } else {
        document.querySelector("[data-op=invert]").click();
      }
      let ready = 0;
      const check = () => {
        const body = document.body.dataset;
        if (!ready && body.state === "ready" && body.result !== before) ready = performance.now() - start;
        if (ready && body.preview === body.result) resolve([ready, performance.now() - start]);
        else setTimeout(check, 1);
      };
      check();
    }), [action, argument]);
    const report = [];
    for (const kind of ["option", "grid"]) {
      const cpuBefore = cpuSeconds();
      const times = [], previews = [];
      for (let i = 0; i < changes; ++i) {
        const [ready, preview] = await measure(kind, 41 + (i % 2));
        times.push(ready);
        previews.push(preview);
      }
      const cpuPerChange = (cpuSeconds() - cpuBefore) / changes;
      report.push(kind + " edit over " + changes + " changes, to the picture and a playable voice: " + figures(times) +
                  "; to the rendered preview in the player: " + figures(previews) +
                  "; studio CPU " + (cpuPerChange * 1000).toFixed(0) + " ms per change");
    }
    // From a key, a click on the on-screen keyboard or a MIDI note on (the
    // event's own time stamp) to the page hearing from its synthesis that
    // the note's first samples are made.
    const latency = async (press, release) => {
      const times = [];
      for (let i = 0; i < changes; ++i) {
        const before = await page.evaluate(() => window.studioEditor.player.latencies.length);
        await press();
        await page.waitForFunction((n) => window.studioEditor.player.latencies.length > n, before, { polling: 5 });
        await release();
        await page.evaluate(() => window.studioEditor.player.stopAll());
        times.push(await page.evaluate(() => window.studioEditor.player.latencies.at(-1)));
      }
      return figures(times);
    };
    await page.click("#summary");
    const key = await latency(() => page.keyboard.down("a"), () => page.keyboard.up("a"));
    await page.locator("#keyboard .key").first().scrollIntoViewIfNeeded();
    const box = await page.locator("#keyboard .key").first().boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height - 5);
    const click = await latency(() => page.mouse.down(), () => page.mouse.up());
    const midi = (data) => () => page.evaluate((bytes) => window.standInMidi.onmidimessage(
      { data: Uint8Array.from(bytes), timeStamp: performance.now() }), data);
    const note = await latency(midi([0x90, 60, 100]), midi([0x80, 60, 0]));
    report.push("note start, to its first samples made by the page's synthesis: key " + key + "; on-screen click " +
                click + "; MIDI note on " + note + "; then the audio output's own latency " +
                await page.evaluate(() => {
                  const audio = window.studioEditor.player.audio;
                  return ((audio.baseLatency + (audio.outputLatency || 0)) * 1000).toFixed(1);
                }) + " ms");
    console.log("voice: " + summary + "; preview " + (await page.$eval("#preview", (a) => a.duration)).toFixed(2) + " s");
    for (const line of report) console.log(line);
    console.log("load average " + os.loadavg()[0].toFixed(1) + " on " + os.cpus().length + " cores");
  } finally {
    await browser.close();
    await studio.stop();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error("studio benchmark failed:", error);
  process.exit(1);
});
