// Round trip of the studio: from a changed option to the updated voice picture
// and a playable preview, for a 128-row voice held 2 s. Prints the median of
// several changes; not a test.
//   tests/studio/run.sh BUILD_DIR bench
"use strict";
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { startStudio, launchBrowser, waitForResult, makePicture } = require("./harness.js");

const [binDir, workDir] = process.argv.slice(2);
const changes = 15;

async function main() {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "hvx-studio-bench-"));
  const picture = path.join(scratch, "tall.bmp");
  makePicture(binDir, picture, 128, "random:3", 64);
  const studio = await startStudio(binDir, scratch);
  const browser = await launchBrowser(workDir);
  try {
    const page = await browser.context.newPage();
    await page.goto(studio.url);
    await page.waitForFunction(() => document.body.dataset.state === "idle");
    await page.fill("#hold", "2");
    await page.setInputFiles("#file", picture);
    let shown = await waitForResult(page, "");
    const summary = await page.textContent("#summary");
    // The server's own CPU time, which the machine's other load does not inflate.
    const ticksPerSecond = Number(execFileSync("getconf", ["CLK_TCK"], { encoding: "utf8" }));
    const cpuSeconds = () => {
      const fields = fs.readFileSync("/proc/" + studio.child.pid + "/stat", "utf8").split(") ")[1].split(" ");
      return (Number(fields[11]) + Number(fields[12])) / ticksPerSecond;  // utime + stime
    };
    const cpuBefore = cpuSeconds();
    const times = [];
    for (let i = 0; i < changes; ++i) {
      // The change as the user makes it; the clock runs from the input event
      // to the moment both the picture and the player are ready.
      const took = await page.evaluate((ceiling) => new Promise((resolve) => {
        const before = document.body.dataset.result;
        const start = performance.now();
        const input = document.getElementById("ceiling");
        input.value = String(ceiling);
        input.dispatchEvent(new Event("input"));
        const check = () => {
          const body = document.body.dataset;
          if (body.state === "ready" && body.result !== before) resolve(performance.now() - start);
          else setTimeout(check, 2);
        };
        check();
      }), 40 + (i % 2));
      times.push(took);
    }
    const cpuPerChange = (cpuSeconds() - cpuBefore) / changes;
    shown = await waitForResult(page, "");
    times.sort((a, b) => a - b);
    const median = times[Math.floor(times.length / 2)];
    console.log("voice: " + summary + "; preview " + (await page.$eval("#preview", (a) => a.duration)).toFixed(2) + " s");
    console.log("round trip over " + changes + " changes: median " + median.toFixed(0) + " ms, min " +
                times[0].toFixed(0) + " ms, max " + times[times.length - 1].toFixed(0) + " ms; studio CPU " +
                (cpuPerChange * 1000).toFixed(0) + " ms per change; load average " + os.loadavg()[0].toFixed(1) +
                " on " + os.cpus().length + " cores");
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
