// A voice file in the studio, in headless Chromium: opened through the
// chooser, a drop and the folder's list, drawn as `hvx picture --absolute`
// draws it, played as it is, edited at its own points with its loop moved,
// and saved under a new name; the file it came from is replaced only once
// the user agrees.
//   node voice.test.js BIN_DIR WORK_DIR
"use strict";
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const zlib = require("node:zlib");
const { startStudio, launchBrowser, waitForResult, waitForPreview, makePicture, dropFile } = require("./harness.js");

const [binDir, workDir] = process.argv.slice(2);
const hvx = path.join(binDir, "hvx");

// The grey levels of an 8-bit greyscale PNG, top row first.
function pngLevels(bytes) {
  let at = 8, width = 0, height = 0;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at), type = bytes.toString("latin1", at + 4, at + 8);
    if (type === "IHDR") {
      width = bytes.readUInt32BE(at + 8);
      height = bytes.readUInt32BE(at + 12);
      assert.equal(bytes[at + 16], 8);
      assert.equal(bytes[at + 17], 0, "greyscale");
    }
    if (type === "IDAT") data.push(bytes.subarray(at + 8, at + 8 + length));
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const rows = [];
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (width + 1)], line = raw.subarray(y * (width + 1) + 1, (y + 1) * (width + 1));
    const above = y > 0 ? rows[y - 1] : new Uint8Array(width);
    const row = new Uint8Array(width);
    for (let x = 0; x < width; ++x) {
      const a = x > 0 ? row[x - 1] : 0, b = above[x], c = x > 0 ? above[x - 1] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predicted = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      row[x] = (line[x] + predicted) & 255;
    }
    rows.push(row);
  }
  return { width, height, rows };
}

// The voice as `hvx info --json` reads it.
function voiceJson(file) {
  return JSON.parse(execFileSync(hvx, ["info", "--json", file], { encoding: "utf8" }))[0].voice;
}

async function main() {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "hvx-voice-test-"));
  const folder = path.join(scratch, "folder");
  fs.mkdirSync(folder);
  // A detuned voice (frequency envelopes the grid cannot show) and a plain one.
  makePicture(binDir, path.join(scratch, "detuned.bmp"), 16, "random:4", 64);
  execFileSync(path.join(binDir, "tonepix"), ["-f40", "detuned.bmp"], { cwd: scratch });
  const detuned = path.join(scratch, "detuned.hvx");
  makePicture(binDir, path.join(folder, "plain.bmp"), 12, "random:6", 64);
  execFileSync(path.join(binDir, "tonepix"), ["-f0", "plain.bmp"], { cwd: folder });
  fs.renameSync(path.join(folder, "plain.bmp"), path.join(scratch, "plain.bmp"));
  const plain = path.join(folder, "plain.hvx");
  const plainBytes = fs.readFileSync(plain);
  // Hand-made voices: a loop that starts between rows, and harmonics whose
  // points lie at times of their own. The plain voice's header: version,
  // "plain\0", a reserved field, then the loop's times.
  const loopAt = 4 + "plain".length + 1 + 4;
  const between = Buffer.from(plainBytes);
  between.writeFloatLE(1.35, loopAt);  // rows 4 and 5 are at 1.2 s and 1.5 s
  fs.writeFileSync(path.join(folder, "between.hvx"), between);
  const apart = Buffer.from(plainBytes);
  const harmonic2 = loopAt + 8 + 12 + 4 + (4 + 14 * 8);  // past harmonic 1's 14 points
  assert.equal(apart.readInt32LE(harmonic2), 14);
  apart.writeFloatLE(0.31, harmonic2 + 4 + 4);  // its point 1, at 0.3 s in the others
  fs.writeFileSync(path.join(folder, "apart.hvx"), apart);
  execFileSync(hvx, ["picture", "--absolute", detuned, "-o", path.join(scratch, "detuned.png")]);
  const drawn = pngLevels(fs.readFileSync(path.join(scratch, "detuned.png")));

  const studio = await startStudio(binDir, folder);
  const browser = await launchBrowser(workDir);
  let passed = false;
  try {
    const page = await browser.context.newPage();
    page.on("pageerror", (error) => console.error("page error:", error.message));
    await page.goto(studio.url);
    let shown = await waitForResult(page, "");
    const resultFile = async (file) => Buffer.from(await page.evaluate(async (which) => {
      const response = await window.studio.fetch(window.studioEditor.result().files[which]);
      return Array.from(new Uint8Array(await response.arrayBuffer()));
    }, file));
    // The grid the editor holds, top row first, as a picture shows it.
    const editorRows = () => page.evaluate(() => {
      const { rows, harmonics, levels } = window.studioEditor.editor.grid;
      return Array.from({ length: rows }, (_, r) => Array.from(levels.subarray((rows - 1 - r) * harmonics, (rows - r) * harmonics)));
    });
    const checkOpened = async () => {
      assert.equal(await page.getAttribute("#editor", "data-rows"), String(drawn.height));
      assert.deepEqual(await editorRows(), drawn.rows.map((row) => Array.from(row)), "the grid is hvx picture --absolute");
      assert.ok((await resultFile("voice")).equals(fs.readFileSync(detuned)), "played as it is: the file's own bytes");
      assert.equal(await page.isDisabled("#hold"), false, "the hold still applies");
      assert.equal(await page.isDisabled("[data-op=stretch]"), true, "a voice keeps its points");
    };

    // Through the chooser.
    await page.setInputFiles("#file", detuned);
    shown = await waitForResult(page, shown.result);
    await checkOpened();
    const note = await page.textContent("#grid-note");
    assert.match(note, /^Voice "detuned" from detuned\.hvx: 18 points × 64 harmonics, .* loop from 1\.500 s \(row 5\) to 4\.800 s \(row 16\); base frequency 440\.00 Hz\./, note);
    assert.match(await page.textContent("#voice-note"), /^No tonepix picture makes this voice/);
    assert.equal(await page.inputValue("#note"), "440.00 Hz");
    assert.equal(await page.isDisabled("#interval"), true, "tonepix's options rest while a voice is open");
    assert.equal(await page.isVisible("#download-bitmap"), false, "no picture to offer");
    // The page's synthesis plays it at its own base frequency.
    await page.dispatchEvent("#play", "pointerdown");
    await page.waitForFunction(() => document.body.dataset.playing === "1");
    assert.equal(Number(await page.evaluate(() => document.body.dataset.playedHz)), 440);
    await page.dispatchEvent("#play", "pointerup");

    // Through a drop.
    // A picture dropped in between leaves the voice: the grid is the picture's.
    await dropFile(page, path.join(scratch, "plain.bmp"));
    shown = await waitForResult(page, shown.result);
    assert.equal(await page.getAttribute("#editor", "data-rows"), "12");
    assert.equal(await page.isDisabled("#interval"), false, "tonepix's options are back for a picture");
    assert.match(await page.textContent("#grid-note"), /^From 64×12 pixels: 12 rows/);
    await dropFile(page, detuned);
    shown = await waitForResult(page, shown.result);
    await checkOpened();

    // Edited: a stroke, and the loop moved with its tools.
    const rows = drawn.height;
    await page.locator("#editor").scrollIntoViewIfNeeded();
    const box = await page.locator("#editor").boundingBox();
    const at = (row, h) => ({ x: box.x + (h + 0.5) * box.width / 64, y: box.y + (rows - 1 - row + 0.5) * box.height / rows });
    const settled = () => page.waitForFunction(() => window.studioEditor.synced(), null, { polling: 20 });
    await page.fill("#level", "200");
    await page.mouse.move(at(3, 4).x, at(3, 4).y);
    await page.mouse.down();
    await page.mouse.move(at(3, 9).x, at(3, 9).y, { steps: 5 });
    await page.mouse.up();
    await settled();
    await page.click("[data-tool=loop-start]");
    await page.mouse.click(at(2, 30).x, at(2, 30).y);
    await page.click("[data-tool=loop-end]");
    await page.mouse.click(at(10, 30).x, at(10, 30).y);
    await page.waitForFunction(() => {
      const opened = window.studioEditor.result().opened;
      return window.studioEditor.synced() && opened.loopStartRow === 2 && opened.loopEndRow === 10;
    }, null, { polling: 20 });
    // Both rows of the loop are outlined, and no other.
    const outlined = (row) => page.evaluate((r) => {
      const canvas = document.getElementById("editor"), count = Number(canvas.dataset.rows);
      const y = Math.floor((count - 1 - r + 0.5) * canvas.height / count);
      const [red, green, blue] = canvas.getContext("2d").getImageData(1, y, 1, 1).data;
      return red === 0xf2 && green === 0xa6 && blue === 0x5a;
    }, row);
    assert.deepEqual([await outlined(2), await outlined(10), await outlined(3)], [true, true, false]);
    // Undo takes back the last step only, the end's move; redo moves it again.
    await page.click("#undo");
    await page.waitForFunction(() => {
      const opened = window.studioEditor.result().opened;
      return opened.loopStartRow === 2 && opened.loopEndRow === 16 && window.studioEditor.synced();
    });
    await page.click("#redo");
    await page.waitForFunction(() => window.studioEditor.result().opened.loopEndRow === 10 && window.studioEditor.synced());
    // The README's picture: a voice opened, edited, its loop moved, its
    // preview drawn.
    shown = { result: await page.evaluate(() => document.body.dataset.result) };
    await waitForPreview(page, shown.result);
    await page.waitForFunction(() => document.getElementById("spectrogram").dataset.seconds === "7.100");
    await page.screenshot({ path: path.join(workDir, "voice.png"), fullPage: true });

    // Saved under its new name: the edit and the loop, nothing else changed.
    const saved = async () => {
      await page.evaluate(() => {
        document.getElementById("status").textContent = "";
        document.getElementById("error").textContent = "";
      });
      await page.click("#save-voice");
      await page.waitForFunction(() => /^Saved /.test(document.getElementById("status").textContent) ||
                                         document.getElementById("error").textContent !== "");
      return page.textContent("#status");
    };
    assert.equal(await page.inputValue("#save-as"), "detuned-edited.hvx");
    assert.match(await saved(), /^Saved detuned-edited\.hvx in /);
    const before = voiceJson(detuned), after = voiceJson(path.join(folder, "detuned-edited.hvx"));
    const times = before.sets[0].harmonics[0].amplitude.times;
    assert.equal(after.loopStart, times[2]);
    assert.equal(after.loopEnd, times[10]);
    before.sets[0].harmonics.forEach((harmonic, h) => {
      const edited = after.sets[0].harmonics[h];
      assert.deepEqual(edited.frequency, harmonic.frequency, "harmonic " + (h + 1) + "'s frequencies kept");
      assert.deepEqual(edited.amplitude.times, harmonic.amplitude.times);
      harmonic.amplitude.values.forEach((value, k) => {
        const want = k === 3 && h >= 4 && h <= 9 ? Math.fround(200 / 255) : value;
        assert.equal(Math.fround(edited.amplitude.values[k]), Math.fround(want), "harmonic " + (h + 1) + ", point " + k);
      });
    });

    // A voice from the folder that tonepix makes from a picture: it says so,
    // and offers the picture.
    await page.selectOption("#folder-picture", "plain.hvx");
    shown = await waitForResult(page, shown.result);
    assert.match(await page.textContent("#voice-note"), /^tonepix makes this very voice from the grid as a picture: tonepix .*plain\.bmp/);
    assert.equal(await page.isVisible("#download-bitmap"), true);
    const picture = await resultFile("bitmap");
    const original = fs.readFileSync(path.join(scratch, "plain.bmp"));
    assert.ok(picture.subarray(1078).equals(original.subarray(original.readUInt32LE(10))), "the picture tonepix read");
    // Its edit over the file it came from: only once the user agrees.
    await page.click("[data-op=invert]");
    await settled();
    await page.fill("#save-as", "plain.hvx");
    const answers = [];
    page.on("dialog", (dialog) => { answers.push(dialog.message()); answers.length === 1 ? dialog.dismiss() : dialog.accept(); });
    await saved();
    assert.ok(fs.readFileSync(plain).equals(plainBytes), "the opened file is unchanged");
    assert.match(answers[0], /^"plain\.hvx" is the voice you opened\. Replace it\?$/);
    assert.match(await saved(), /^Saved plain\.hvx/);
    assert.ok(fs.readFileSync(plain).equals(await resultFile("voice")), "replaced by the edit once agreed");
    assert.ok(!fs.readFileSync(plain).equals(plainBytes));

    const errorOrLoop = (start, end) => page.waitForFunction(([s, e]) => {
      const opened = window.studioEditor.result().opened;
      return document.getElementById("error").textContent ||
        (window.studioEditor.synced() && opened.loopStartRow === s && opened.loopEndRow === e);
    }, [start, end], { polling: 20 }).then((handle) => handle.jsonValue());
    await page.selectOption("#folder-picture", "between.hvx");
    shown = await waitForResult(page, shown.result);
    assert.match(await page.textContent("#grid-note"), /loop from 1\.350 s \(between rows\) to 3\.600 s \(row 12\)/);
    // The loop's end moved: its start takes the row before its time.
    const box14 = await page.locator("#editor").boundingBox();
    const at14 = (row, h) => ({ x: box14.x + (h + 0.5) * box14.width / 64, y: box14.y + (14 - 1 - row + 0.5) * box14.height / 14 });
    await page.click("[data-tool=loop-end]");
    await page.mouse.click(at14(10, 30).x, at14(10, 30).y);
    assert.equal(await errorOrLoop(4, 10), true, "the loop moves from between rows");
    // Undone: the loop as the file has it.
    await page.click("#undo");
    await page.waitForFunction(() => document.getElementById("error").textContent ||
      (window.studioEditor.synced() && window.studioEditor.result().opened.loopEndRow === 12));
    assert.equal(await page.textContent("#error"), "");
    assert.equal(await page.evaluate(() => window.studioEditor.result().opened.loopStart), Math.fround(1.35));
    // No row to move the loop to: no loop tools, and strokes still go.
    await page.selectOption("#folder-picture", "apart.hvx");
    shown = await waitForResult(page, shown.result);
    assert.equal(await page.evaluate(() => window.studioEditor.result().opened.loopMovable), false);
    assert.equal(await page.isVisible("[data-tool=loop-end]"), false);
    await page.click("[data-tool=brush]");
    await page.mouse.click(at14(6, 20).x, at14(6, 20).y);
    await page.waitForFunction(() => document.getElementById("error").textContent ||
      (window.studioEditor.synced() && window.studioEditor.result().opened.edited));
    assert.equal(await page.textContent("#error"), "");

    // Another voice of the same file name, of another size: the undo history
    // of the first is not this one's.
    await dropFile(page, path.join(folder, "detuned-edited.hvx"), "apart.hvx");
    shown = await waitForResult(page, shown.result);
    assert.equal(await page.getAttribute("#editor", "data-rows"), String(drawn.height));
    await page.click("#undo");
    await page.waitForTimeout(300);
    assert.equal(await page.getAttribute("#editor", "data-rows"), String(drawn.height));
    assert.equal(await page.textContent("#error"), "");

    // A preset leaves the voice: the grid is a picture again, with its tools.
    await page.click("[data-tool=loop-end]");
    await page.click("#apply-preset");
    await page.waitForFunction(() => !window.studioEditor.result().opened && window.studioEditor.synced(), null, { polling: 20 });
    assert.equal(await page.isDisabled("#interval"), false, "tonepix's options are back");
    assert.equal(await page.isDisabled("[data-op=stretch]"), false);
    assert.equal(await page.isVisible("#loop-tools"), false);
    assert.equal(await page.evaluate(() => window.studioEditor.editor.tool), "brush", "the loop tools put away");

    passed = true;
  } finally {
    await browser.close();
    await studio.stop();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
  console.log(passed ? "voice browser test: 1 passed, 0 failed; screenshot in " + path.join(workDir, "voice.png") : "");
}

main().catch((error) => {
  console.error("voice browser test failed:", error);
  process.exit(1);
});
