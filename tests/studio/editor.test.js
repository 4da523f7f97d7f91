// The studio's editor in headless Chromium: the page opens with a playable
// voice; strokes, presets and operations reach the prepared bitmap exactly;
// undo and redo restore each state; a key plays its note.
//   node editor.test.js BIN_DIR WORK_DIR
"use strict";
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { startStudio, launchBrowser, waitForResult, makePicture } = require("./harness.js");

const [binDir, workDir] = process.argv.slice(2);
const H = 64;

// The grid of a prepared bitmap: 1078 bytes of header and palette, then one
// 64-byte row per point, point 0 first.
function gridOf(bytes) {
  assert.equal(bytes.readUInt32LE(10), 1078);
  assert.equal(bytes.readInt32LE(18), H);
  const rows = bytes.readInt32LE(22);
  return { rows, levels: Array.from(bytes.subarray(1078, 1078 + rows * H)) };
}

// Samples of a 24-bit mono WAV file, full scale 1.
function wavSamples(bytes) {
  let at = 12;
  while (bytes.toString("latin1", at, at + 4) !== "data") at += 8 + bytes.readUInt32LE(at + 4);
  const size = bytes.readUInt32LE(at + 4);
  const samples = [];
  for (let i = at + 8; i + 3 <= at + 8 + size; i += 3) samples.push(bytes.readIntLE(i, 3) / 8388608);
  return samples;
}

function mapGrid(grid, f) {
  const levels = grid.levels.map((level, i) => Math.max(0, Math.min(255, Math.round(f(Math.floor(i / H), i % H, level)))));
  return { rows: grid.rows, levels };
}

// What each operation must make of a grid, written out independently of the page.
const expected = {
  "shift-up": (g) => mapGrid(g, (p, h) => (h >= 1 ? g.levels[p * H + h - 1] : 0)),
  "shift-down": (g) => mapGrid(g, (p, h) => (h + 1 < H ? g.levels[p * H + h + 1] : 0)),
  odd: (g) => mapGrid(g, (p, h, v) => (h % 2 === 0 ? v : 0)),
  even: (g) => mapGrid(g, (p, h, v) => (h % 2 === 1 ? v : 0)),
  invert: (g) => mapGrid(g, (p, h, v) => 255 - v),
  normalise: (g) => { const top = Math.max(...g.levels); return mapGrid(g, (p, h, v) => v * 255 / top); },
  reverse: (g) => mapGrid(g, (p, h) => g.levels[(g.rows - 1 - p) * H + h]),
  soften: (g) => mapGrid(g, (p, h) => {
    let sum = 0;
    for (const [dp, wp] of [[-1, 1], [0, 2], [1, 1]]) {
      for (const [dh, wh] of [[-1, 1], [0, 2], [1, 1]]) {
        const q = Math.max(0, Math.min(g.rows - 1, p + dp)), k = Math.max(0, Math.min(H - 1, h + dh));
        sum += wp * wh * g.levels[q * H + k];
      }
    }
    return sum / 16;
  }),
  stretch: (g) => ({ rows: g.rows * 2, levels: Array.from({ length: g.rows * 2 * H }, (_, i) => g.levels[Math.floor(Math.floor(i / H) / 2) * H + i % H]) }),
};
const presets = {
  saw: (p, n) => 255 * (1 / n),
  square: (p, n) => (n % 2 ? 255 * (1 / n) : 0),
  triangle: (p, n) => (n % 2 ? 255 * (1 / (n * n)) : 0),
  organ: (p, n) => 255 * ({ 1: 1, 2: 1, 3: 0.75, 4: 0.75, 5: 0.5, 6: 0.5, 8: 0.5 }[n] || 0),
  bell: (p, n, rows) => 255 * (1 / Math.sqrt(n)) * Math.exp(-n * (p / (rows - 1)) / 4),
};

async function main() {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "hvx-editor-test-"));
  makePicture(binDir, path.join(scratch, "one.bmp"), 8, "random:1", 64);
  makePicture(binDir, path.join(scratch, "two.bmp"), 8, "random:2", 64);
  const studio = await startStudio(binDir, scratch);
  const browser = await launchBrowser(workDir);
  let checks = 0;
  const began = Date.now();
  const lap = (what) => console.log("  " + what + " at " + ((Date.now() - began) / 1000).toFixed(1) + " s");
  try {
    const page = await browser.context.newPage();
    page.on("pageerror", (error) => console.error("page error:", error.message));
    // A stand-in MIDI keyboard, which the test plays through its handler.
    await page.addInitScript(() => {
      const input = { name: "Stand-in Keys", onmidimessage: null };
      window.standInMidi = input;
      navigator.requestMIDIAccess = async () => ({ inputs: new Map([["1", input]]), onstatechange: null });
    });
    await page.goto(studio.url);
    // A voice at once, from the saw preset, ready to play.
    let shown = await waitForResult(page, "");
    assert.equal(await page.textContent("#summary"), "34 = 9 .. 32 : 2.700000 .. 9.600000");

    // A file of the result on show, fetched as its download button fetches it.
    const resultFile = async (file) => Buffer.from(await page.evaluate(async (which) => {
      const response = await window.studio.fetch(window.studioEditor.result().files[which]);
      return Array.from(new Uint8Array(await response.arrayBuffer()));
    }, file));
    const bitmap = () => resultFile("bitmap");
    // Once the result on show is the editor's grid and nothing is on its
    // way (a field's change event may start a conversion of its own when a
    // click takes its focus), the grid of that result.
    const settled = async () => {
      await page.waitForFunction(() => window.studioEditor.synced(), null, { polling: 20 });
      shown = { result: await page.evaluate(() => document.body.dataset.result) };
      return gridOf(await bitmap());
    };
    const next = settled;
    // Each click's round trip, as the page measured it: from the edit to the
    // voice picture on show and the voice playable.
    const roundTrips = [];
    const click = async (selector) => {
      await page.click(selector);
      const grid = await next();
      roundTrips.push(Number(await page.evaluate(() => document.body.dataset.roundTrip)));
      return grid;
    };

    // Each preset on 8 flat rows.
    for (const [id, value] of [["#editor-rows", "8"], ["#attack", "0"], ["#decay", "0"], ["#sustain", "100"]]) {
      await page.fill(id, value);
    }
    for (const [name, level] of Object.entries(presets)) {
      await page.selectOption("#preset", name);
      const grid = await click("#apply-preset");
      assert.deepEqual(grid, mapGrid({ rows: 8, levels: new Array(8 * H).fill(0) }, (p, h) => level(p, h + 1, 8)), name);
      ++checks;
    }
    // The shape over the rows, then every operation on that known start,
    // each undone before the next.
    // Attack and decay (4 rows asked) squeezed below tonepix's loop line
    // (row 3 of 8), the sustain held from it to the last row.
    for (const [id, value] of [["#attack", "2"], ["#decay", "2"], ["#sustain", "50"]]) {
      await page.fill(id, value);
    }
    const bell = gridOf(await bitmap());
    const start = await click("[data-op=adsr]");
    const gains = [1 / 3, 2 / 3, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5];
    assert.deepEqual(start, mapGrid(bell, (p, h, v) => v * gains[p]), "attack, decay, sustain to the last row");
    for (const [op, make] of Object.entries(expected)) {
      assert.deepEqual(await click("[data-op=" + op + "]"), make(start), op);
      await page.keyboard.press("Control+z");
      assert.deepEqual(await next(), start, "undo after " + op);
      ++checks;
    }

    lap("presets and operations");
    roundTrips.sort((a, b) => a - b);
    console.log("  round trip of " + roundTrips.length + " edits (8-row voices): median " +
                roundTrips[Math.floor(roundTrips.length / 2)].toFixed(0) + " ms, longest " +
                roundTrips[roundTrips.length - 1].toFixed(0) + " ms (tests/studio/run.sh BUILD_DIR bench measures 126 rows)");
    // A stroke with the brush, downloaded as the user downloads it.
    await page.fill("#level", "200");
    const box = await page.locator("#editor").boundingBox();
    const at = (p, h) => ({ x: box.x + (h + 0.5) * box.width / H, y: box.y + (start.rows - 1 - p + 0.5) * box.height / start.rows });
    await page.mouse.move(at(3, 10).x, at(3, 10).y);
    await page.mouse.down();
    await page.mouse.move(at(3, 20).x, at(3, 20).y, { steps: 6 });
    await page.mouse.up();
    await settled();
    const [file] = await Promise.all([page.waitForEvent("download"), page.click("#download-bitmap")]);
    const saved = path.join(scratch, "stroke.bmp");
    await file.saveAs(saved);
    const stroke = gridOf(fs.readFileSync(saved));
    assert.deepEqual(stroke, mapGrid(start, (p, h, v) => (p === 3 && h >= 10 && h <= 20 ? 200 : v)), "the stroke's cells");
    // A line, the eraser, a filled row and a filled harmonic.
    const tool = async (name, from, to) => {
      await page.click("[data-tool=" + name + "]");
      await page.mouse.move(at(...from).x, at(...from).y);
      await page.mouse.down();
      await page.mouse.move(at(...to).x, at(...to).y, { steps: 4 });
      await page.mouse.up();
      return next();
    };
    await page.fill("#size", "2");
    const line = await tool("line", [0, 30], [6, 36]);
    const lineCells = new Set([0, 1, 2, 3, 4, 5, 6].map((i) => i * H + 30 + i));
    const covered = (p, h) => [[0, 0], [0, 1], [1, 0], [1, 1]].some(([dp, dh]) => lineCells.has((p - dp) * H + h - dh));
    assert.deepEqual(line, mapGrid(stroke, (p, h, v) => (covered(p, h) ? 200 : v)), "a 2-cell line");
    await page.fill("#size", "1");
    const erased = await tool("eraser", [3, 12], [3, 14]);
    assert.deepEqual(erased, mapGrid(line, (p, h, v) => (p === 3 && h >= 12 && h <= 14 ? 0 : v)), "the eraser");
    await page.fill("#level", "77");
    const row = await tool("row", [5, 40], [5, 40]);
    assert.deepEqual(row, mapGrid(erased, (p, h, v) => (p === 5 ? 77 : v)), "a filled row");
    const column = await tool("harmonic", [1, 2], [1, 2]);
    assert.deepEqual(column, mapGrid(row, (p, h, v) => (h === 2 ? 77 : v)), "a filled harmonic");
    checks += 5;

    lap("tools");
    // Undo and redo walk back and forth through every state.
    const states = [start, stroke, line, erased, row, column];
    await page.click("#summary");  // the keys go to the page, not a field
    for (let i = states.length - 2; i >= 0; --i) {
      await page.keyboard.press("Control+z");
      assert.deepEqual(await next(), states[i], "undo to state " + i);
    }
    for (let i = 1; i < states.length; ++i) {
      await page.keyboard.press(i % 2 ? "Control+Shift+z" : "Control+y");
      assert.deepEqual(await next(), states[i], "redo to state " + i);
    }
    // Sixty edits and sixty undos back to where they began.
    await page.click("[data-op=invert]");
    const inverted = await settled();
    // The rest at once, as fast as a user cannot: every click still an edit.
    await page.evaluate(() => { for (let i = 1; i < 60; ++i) document.querySelector("[data-op=invert]").click(); });
    assert.deepEqual(await settled(), column, "sixty inverts");
    // Fifty-nine undos lead back to the first invert, one more before it.
    await page.evaluate(() => {
      for (let i = 0; i < 59; ++i) document.dispatchEvent(new KeyboardEvent("keydown", { key: "z", ctrlKey: true }));
    });
    assert.deepEqual(await settled(), inverted, "fifty-nine undos");
    await page.keyboard.press("Control+z");
    assert.deepEqual(await settled(), column, "sixty undos");
    checks += 2;

    lap("undo and redo");
    // Undo belongs to the file that is open: another file starts its own
    // history, and coming back brings back the first one's, edits included.
    const editorGrid = () => page.evaluate(() => {
      const grid = window.studioEditor.editor.grid;
      return { rows: grid.rows, levels: Array.from(grid.levels) };
    });
    await page.selectOption("#folder-picture", "one.bmp");
    const one = await settled();
    const oneInverted = await click("[data-op=invert]");
    await page.selectOption("#folder-picture", "two.bmp");
    const two = await settled();
    await page.click("#summary");
    await page.keyboard.press("Control+z");
    await page.waitForTimeout(100);
    assert.deepEqual(await editorGrid(), two, "nothing to undo on a file just opened");
    assert.deepEqual(await settled(), two);
    await page.selectOption("#folder-picture", "one.bmp");
    assert.deepEqual(await settled(), one);
    await page.click("#summary");
    await page.keyboard.press("Control+z");
    assert.deepEqual(await settled(), oneInverted, "the first file's own history is back");
    checks += 1;

    // A value out of range is refused beside its field, and the brush keeps its level.
    await page.fill("#level", "300");
    assert.equal(await page.textContent("#level-refused"), "The level must be a whole number from 0 to 255.");
    assert.equal(await page.getAttribute("#level", "aria-invalid"), "true");
    assert.equal(await page.evaluate(() => window.studioEditor.editor.level), 77);
    await page.fill("#level", "255");
    assert.equal(await page.textContent("#level-refused"), "");
    checks += 1;
    // A plain saw, not detuned, and quiet enough not to clip without
    // normalisation.
    await page.fill("#detune", "0");
    await page.fill("#ceiling", "10");
    await page.selectOption("#preset", "saw");
    await click("#apply-preset");
    // A key plays its note: the page's frequency, and the pitch measured in
    // the studio's render of the voice at that note.
    const pitch = async (key, note) => {
      await page.keyboard.down(key);
      await page.waitForFunction((n) => document.body.dataset.played === n, note);
      await page.keyboard.up(key);
      const hz = Number(await page.evaluate(() => document.body.dataset.playedHz));
      const measured = await page.evaluate(async (n) => {
        const response = await window.studio.fetch("api/note", {
          method: "POST", headers: { "Content-Type": "application/json" },
          body: JSON.stringify({ result: document.body.dataset.result, note: n, hold: 2 }),
        });
        const buffer = await new OfflineAudioContext(1, 1, 48000).decodeAudioData(await response.arrayBuffer());
        const samples = buffer.getChannelData(0);
        const from = Math.floor(buffer.sampleRate * 2);  // into the sustain
        const span = 4096;
        const sums = [];
        for (let lag = 0; lag < 1200; ++lag) {
          let sum = 0;
          for (let i = 0; i < span; ++i) sum += samples[from + i] * samples[from + i + lag];
          sums.push(sum);
        }
        // The first peak near the highest is one period; a parabola through
        // it and its neighbours places it between samples.
        const best = Math.max(...sums.slice(20));
        let lag = 20;
        while (!(sums[lag] > 0.9 * best && sums[lag] >= sums[lag - 1] && sums[lag] >= sums[lag + 1])) ++lag;
        const [a, b, c] = [sums[lag - 1], sums[lag], sums[lag + 1]];
        return buffer.sampleRate / (lag + 0.5 * (a - c) / (a - 2 * b + c));
      }, note);
      return { hz, measured };
    };
    const c4 = await pitch("a", "C4");
    assert.ok(Math.abs(c4.hz / 261.626 - 1) < 1e-4, "C4 is " + c4.hz + " Hz");
    assert.ok(Math.abs(c4.measured / c4.hz - 1) < 0.01, "C4 sounds at " + c4.measured + " Hz");
    await page.keyboard.press("x");
    const a5 = await pitch("h", "A5");
    assert.ok(Math.abs(a5.hz - 880) < 1e-9, "A5 is " + a5.hz + " Hz");
    assert.ok(Math.abs(a5.measured / 880 - 1) < 0.01, "A5 sounds at " + a5.measured + " Hz");

    // The page's synthesis, run in its audio worklet with the key held 2 s
    // after the loop end, against `hvx render` of the downloaded voice.
    const voiceFile = path.join(scratch, "held.hvx");
    fs.writeFileSync(voiceFile, await resultFile("voice"));
    const reference = path.join(scratch, "held.wav");
    execFileSync(path.join(binDir, "hvx"), ["render", voiceFile, "--note", "C4", "--hold", "2", "--no-normalize", "-o", reference]);
    const played = await page.evaluate(async (frequency) => {
      const voice = await window.studio.api("api/voice", { method: "POST", headers: { "Content-Type": "application/json" },
                                                           body: JSON.stringify({ result: document.body.dataset.result }) });
      const { VoicePlayer } = await import("./synth.js");
      const length = new VoicePlayer(voice, { frequency, hold: 2 }).total();
      const context = new OfflineAudioContext(1, length, 48000);
      await context.audioWorklet.addModule("synth-worklet.js");
      const node = new AudioWorkletNode(context, "hvx-voice", { numberOfInputs: 0, outputChannelCount: [1],
                                                               processorOptions: { voice, frequency, hold: 2, gain: 1 } });
      node.connect(context.destination);
      return Array.from((await context.startRendering()).getChannelData(0));
    }, c4.hz);
    const expectedSamples = wavSamples(fs.readFileSync(reference));
    assert.equal(played.length, expectedSamples.length, "as many samples as hvx render");
    let worst = 0;
    expectedSamples.forEach((sample, i) => { worst = Math.max(worst, Math.abs(sample - played[i])); });
    // 24-bit samples: one step is 1.2e-7.
    assert.ok(worst < 1e-6, "the page's synthesis is hvx render's, sample for sample: worst difference " + worst);
    // A key let go at 0.2 s, long before the loop end (2.4 s): its release
    // (one interval, 0.3 s) starts at once, as `hvx render --gate` plays it.
    const tapFile = path.join(scratch, "tap.wav");
    execFileSync(path.join(binDir, "hvx"), ["render", voiceFile, "--note", "C4", "--gate", "0.2", "--no-normalize", "-o", tapFile]);
    const tap = await page.evaluate(async (frequency) => {
      const voice = await window.studio.api("api/voice", { method: "POST", headers: { "Content-Type": "application/json" },
                                                           body: JSON.stringify({ result: document.body.dataset.result }) });
      const play = async (options, seconds, releaseAt) => {
        const context = new OfflineAudioContext(1, Math.round(seconds * 48000), 48000);
        await context.audioWorklet.addModule("synth-worklet.js");
        const node = new AudioWorkletNode(context, "hvx-voice", { numberOfInputs: 0, outputChannelCount: [1],
                                                                 processorOptions: { voice, frequency, gain: 1, ...options } });
        node.connect(context.destination);
        if (releaseAt) context.suspend(releaseAt).then(() => { node.port.postMessage("release"); context.resume(); });
        return Array.from((await context.startRendering()).getChannelData(0));
      };
      const gated = await play({ gate: 0.2 }, 0.5);
      // A real key: held, then let go by a message at 0.2 s.
      const keyed = await play({ hold: null }, 3, 0.2);
      let last = keyed.length - 1;
      while (last > 0 && keyed[last] === 0) --last;
      return { gated, lastSound: last / 48000 };
    }, c4.hz);
    const tapSamples = wavSamples(fs.readFileSync(tapFile));
    assert.equal(tapSamples.length, 0.5 * 48000, "hvx render --gate 0.2 lasts 0.5 s");
    let tapWorst = 0;
    tapSamples.forEach((sample, i) => { tapWorst = Math.max(tapWorst, Math.abs(sample - tap.gated[i])); });
    assert.ok(tapWorst < 1e-6, "a key held 0.2 s is hvx render --gate 0.2: worst difference " + tapWorst);
    assert.ok(tap.lastSound > 0.3 && tap.lastSound < 0.2 + 0.3 + 0.05, "a 0.2 s key stops within its release: last sound at " + tap.lastSound + " s");
    await page.waitForFunction(() => Number(document.getElementById("spectrogram").dataset.columns) > 0);
    checks += 4;

    // Played from MIDI: two notes together, velocity scaling the level, the
    // sustain pedal holding a note past its note off; stop all silences
    // everything, and the playing line empties when the notes end.
    assert.equal(await page.textContent("#midi-status"), "MIDI: Stand-in Keys plays.");
    const midi = (...data) => page.evaluate((bytes) => window.standInMidi.onmidimessage(
      { data: Uint8Array.from(bytes), timeStamp: performance.now() }), data);
    const sounding = () => page.evaluate(() => Array.from(window.studioEditor.player.sounding.values(),
                                                          (slot) => ({ note: slot.note, level: slot.level })));
    const loudest = (ms) => page.evaluate((span) => new Promise((resolve) => {
      let top = 0;
      const end = performance.now() + span;
      const look = () => {
        top = Math.max(top, window.studioEditor.player.level());
        if (performance.now() < end) setTimeout(look, 5); else resolve(top);
      };
      look();
    }), ms);
    const nothingPlays = () => page.waitForFunction(() => document.getElementById("playing").textContent === "–" &&
                                                      window.studioEditor.player.level() === 0, null, { timeout: 5000 });
    await midi(0x90, 60, 100);
    await midi(0x90, 64, 50);
    await page.waitForFunction(() => document.getElementById("playing").textContent === "C4 (261.63 Hz), E4 (329.63 Hz)");
    const both = await sounding();
    assert.deepEqual(both.map((slot) => slot.note), ["C4", "E4"]);
    assert.ok(Math.abs(both[0].level / both[1].level - 2) < 1e-9, "velocity 100 against 50: " + JSON.stringify(both));
    assert.ok(await loudest(200) > 0, "two notes sound");
    await page.click("#stop-all");
    assert.deepEqual(await sounding(), []);
    await nothingPlays();
    // The same note louder at a higher velocity, measured in the sustain.
    const heard = async (velocity) => {
      await midi(0x90, 60, velocity);
      await page.waitForTimeout(2600);  // past the loop end (2.4 s)
      const level = await loudest(150);
      await page.click("#stop-all");
      await nothingPlays();
      return level;
    };
    const loud = await heard(120), soft = await heard(40);
    assert.ok(Math.abs(loud / soft - 3) < 0.15, "velocity 120 is three times velocity 40: " + loud + " and " + soft);
    // The pedal down: a note let go keeps sounding until the pedal comes up.
    await midi(0xb0, 64, 127);
    await midi(0x90, 67, 90);
    await page.waitForFunction(() => document.body.dataset.played === "G4");
    await midi(0x80, 67, 0);
    await page.waitForTimeout(600);  // twice the release
    assert.deepEqual((await sounding()).map((slot) => slot.note), ["G4"], "held by the pedal");
    assert.ok(await loudest(100) > 0);
    await midi(0xb0, 64, 0);
    await nothingPlays();
    // The mouse on the on-screen keyboard: its first key is C of the octave.
    await page.locator("#keyboard .key").first().scrollIntoViewIfNeeded();
    const first = await page.locator("#keyboard .key").first().boundingBox();
    await page.mouse.move(first.x + first.width / 2, first.y + first.height - 5);
    await page.mouse.down();
    await page.waitForFunction(() => document.body.dataset.played === "C5" && document.body.dataset.playing === "1");
    await page.mouse.up();
    await nothingPlays();
    checks += 5;

    // A voice longer than three minutes is previewed at a lower rate: the
    // spectrogram's axis ends at that rate's Nyquist.
    await page.fill("#editor-rows", "40");
    await click("#apply-preset");
    await page.fill("#interval", "8");
    await page.waitForFunction(() => {
      const result = window.studioEditor.result();
      return result && result.previewRate < 48000 && document.body.dataset.preview === result.result &&
             Number(document.getElementById("spectrogram").dataset.topHz) === result.previewRate / 2;
    }, null, { timeout: 30000 });
    checks += 1;

    // Narrow windows: no sideways scrolling at 800 px; at 1024 px no number
    // of the summary line broken across lines.
    await page.setViewportSize({ width: 800, height: 860 });
    assert.deepEqual(await page.evaluate(() => [document.documentElement.scrollWidth, document.documentElement.clientWidth]),
                     [800, 800], "no horizontal scroll at 800 px");
    await page.setViewportSize({ width: 1024, height: 860 });
    const broken = await page.evaluate(() => {
      const text = document.getElementById("summary").firstChild;
      const split = [];
      for (const found of text.textContent.matchAll(/[0-9.]+/g)) {
        const range = document.createRange();
        range.setStart(text, found.index);
        range.setEnd(text, found.index + found[0].length);
        if (new Set(Array.from(range.getClientRects(), (r) => Math.round(r.top))).size > 1) split.push(found[0]);
      }
      return { summary: text.textContent, split };
    });
    assert.deepEqual(broken.split, [], "numbers broken across lines in " + broken.summary);
    checks += 2;
    await page.screenshot({ path: path.join(workDir, "editor.png"), fullPage: true });
  } finally {
    await browser.close();
    await studio.stop();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
  console.log("studio editor test: " + checks + " passed, 0 failed; screenshot in " + path.join(workDir, "editor.png"));
}

main().catch((error) => {
  console.error("studio editor test failed:", error);
  process.exit(1);
});
