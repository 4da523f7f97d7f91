// The studio in headless Chromium: upload a picture, set options, see the grid
// and the voice, hear a preview of the right length, and download a voice that
// is byte for byte what tonepix makes from the downloaded bitmap.
//   node studio.test.js BIN_DIR WORK_DIR
"use strict";
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { startStudio, launchBrowser, waitForResult, waitForPreview, makePicture, dropFile } = require("./harness.js");
const { attackFromAnotherPort } = require("./attack.js");

const [binDir, workDir] = process.argv.slice(2);

// One note as a MIDI file: program, key, seconds held, then a second for
// the release; 960 ticks a second.
function midiNote(program, key, seconds) {
  const quantity = (n) => {
    const bytes = [n & 0x7f];
    for (n >>= 7; n > 0; n >>= 7) bytes.unshift((n & 0x7f) | 0x80);
    return bytes;
  };
  const track = [0, 0xc0, program, 0, 0x90, key, 100, ...quantity(seconds * 960), 0x80, key, 64,
                 ...quantity(960), 0xff, 0x2f, 0];
  const length = Buffer.alloc(4);
  length.writeUInt32BE(track.length);
  return Buffer.concat([Buffer.from("MThd\0\0\0\x06\0\0\0\x01\x01\xe0MTrk", "latin1"), length, Buffer.from(track)]);
}

// A cello's C3 rendered by fluidsynth from Debian's small General MIDI sound
// font, and the picture hvx analyze makes of it; null where they are missing.
function celloNote(scratch) {
  const font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  if (!fs.existsSync(font)) return null;
  const midi = path.join(scratch, "cello.mid"), sound = path.join(scratch, "cello C3.wav");
  fs.writeFileSync(midi, midiNote(42, 48, 2));
  try {
    execFileSync("fluidsynth", ["-ni", "-q", "-R", "0", "-C", "0", "-g", "0.5", "-r", "48000", "-F", sound, font, midi],
                 { stdio: "ignore" });
  } catch (e) {
    return null;
  }
  const picture = path.join(scratch, "cello.analysis.bmp");
  execFileSync(path.join(binDir, "hvx"), ["analyze", sound, "-o", picture]);
  return { sound, picture };
}

async function main() {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "hvx-studio-test-"));
  const folder = path.join(scratch, "folder");
  fs.mkdirSync(folder);
  // 128 x 96 pixels: the studio must bring it to 64 columns, 48 rows.
  const upload = path.join(scratch, "wide swatch.bmp");
  makePicture(binDir, upload, 96, "random:7", 128);
  makePicture(binDir, path.join(folder, "photo.bmp"), 40, "random:5", 64);
  const notAPicture = path.join(scratch, "notes.png");
  fs.writeFileSync(notAPicture, "these are words, not pixels\n");
  // A sound at a known note: a picture's voice rendered at C3, and the
  // picture hvx analyze makes of it.
  const hvx = path.join(binDir, "hvx");
  const tone = path.join(scratch, "tone");
  fs.mkdirSync(tone);
  makePicture(binDir, path.join(tone, "tone.bmp"), 16, "random:3", 64);
  execFileSync(path.join(binDir, "tonepix"), ["-f0", "tone.bmp"], { cwd: tone });
  const sound = path.join(scratch, "tone C3.wav");
  execFileSync(hvx, ["render", path.join(tone, "tone.hvx"), "--note", "C3", "-o", sound]);
  const analysisFile = path.join(tone, "tone.analysis.bmp");
  const analysed = JSON.parse(execFileSync(hvx, ["analyze", sound, "-o", analysisFile, "--json"], { encoding: "utf8" }));
  const cello = celloNote(scratch);

  const studio = await startStudio(binDir, folder);
  const browser = await launchBrowser(workDir);
  let passed = false;
  try {
    const page = await browser.context.newPage();
    await page.goto(studio.url);
    // The page opens with a voice of its own; a picture replaces it.
    let shown = await waitForResult(page, "");
    // No MIDI device here: one line says so.
    await page.waitForFunction(() => /^(No MIDI: .*|MIDI: no device connected; .*)\.$/.test(
      document.getElementById("midi-status").textContent));

    // A file that is not a picture: one sentence on the page, the studio goes on.
    await page.setInputFiles("#file", notAPicture);
    await page.waitForFunction(() => document.body.dataset.state === "error");
    const sentence = await page.textContent("#error");
    assert.match(sentence, /^"notes.png" [^\n]*\.$/, "one sentence naming the file: " + sentence);
    assert.match(sentence, /pictures \(.*\), sounds \(WAV, FLAC, AIFF, Ogg\) and voices \(\.hvx\)/, "it names what is read: " + sentence);
    // The same through a drop.
    await page.evaluate(() => { document.getElementById("error").textContent = ""; });
    await dropFile(page, notAPicture);
    await page.waitForFunction(() => document.getElementById("error").textContent !== "");
    assert.equal(await page.textContent("#error"), sentence);

    // A sound: the grid is the picture hvx analyze makes, the pitch is shown,
    // and the note field plays the voice at the sound's own pitch.
    fs.copyFileSync(sound, path.join(folder, "tone C3.wav"));
    await page.setInputFiles("#file", sound);
    shown = await waitForResult(page, shown.result);
    const pixels = (bytes) => Array.from(bytes.subarray(bytes.readUInt32LE(10)));
    const resultBitmap = async () => Buffer.from(await page.evaluate(async () => {
      const response = await window.studio.fetch(window.studioEditor.result().files.bitmap);
      return Array.from(new Uint8Array(await response.arrayBuffer()));
    }));
    const madeBitmap = await resultBitmap();
    assert.equal(await page.getAttribute("#editor", "data-rows"), String(analysed.rows));
    assert.deepEqual(pixels(madeBitmap), pixels(fs.readFileSync(analysisFile)), "the grid is hvx analyze's picture");
    const soundNote = await page.textContent("#sound-note");
    const pitch = /pitch C3(?: ([+-][0-9]+) cents?)? \(([0-9.]+) Hz\); onset [0-9.]+ s, attack to /.exec(soundNote);
    assert.ok(pitch && Math.abs(Number(pitch[1] || 0)) <= 3 && Math.abs(Number(pitch[2]) / 130.813 - 1) < 0.002,
              "the pitch and parts shown: " + soundNote);
    assert.equal(await page.inputValue("#note"), analysed.commands.render.match(/--freq ([0-9.]+)/)[1] + " Hz");
    // Converted as the tonepix command hvx analyze prints: its timing, no detune.
    const command = await page.textContent("#command");
    for (const flag of analysed.commands.tonepix.split(" ").slice(1, -1)) assert.ok(command.split(" ").includes(flag), command + " has " + flag);
    await page.dispatchEvent("#play", "pointerdown");
    await page.waitForFunction(() => document.body.dataset.playing === "1");
    assert.ok(Math.abs(Number(await page.evaluate(() => document.body.dataset.playedHz)) / 130.813 - 1) < 0.002,
              "played at the sound's pitch");
    await page.dispatchEvent("#play", "pointerup");
    // The same sound from the folder's list.
    await page.selectOption("#folder-picture", "tone C3.wav");
    shown = await waitForResult(page, shown.result);
    assert.equal(await page.textContent("#sound-note"), soundNote);
    // The README's picture: a sound opened, its preview drawn.
    await waitForPreview(page, shown.result);
    await page.waitForFunction(() => document.getElementById("spectrogram").dataset.seconds === "8.900");
    await page.screenshot({ path: path.join(workDir, "sound.png"), fullPage: true });
    // An instrument's note, dropped: a cello's C3 from a General MIDI sound
    // font, its pitch found within a few cents and its grid hvx analyze's.
    if (cello) {
      await dropFile(page, cello.sound);
      shown = await waitForResult(page, shown.result);
      const celloNote = await page.textContent("#sound-note");
      const found = /pitch C3(?: ([+-][0-9]+) cents?)? \(([0-9.]+) Hz\)/.exec(celloNote);
      assert.ok(found && Math.abs(Number(found[1] || 0)) <= 5, "the cello's pitch: " + celloNote);
      assert.deepEqual(pixels(await resultBitmap()), pixels(fs.readFileSync(cello.picture)), "the cello's grid is hvx analyze's picture");
    } else {
      console.log("note: no fluidsynth and TimGM6mb sound font here; the cello's note was not dropped");
    }

    await page.setInputFiles("#file", upload);
    shown = await waitForResult(page, shown.result);
    // Options as a user sets them; the result on show must be the last one.
    // The hold and the seed go first: they are not part of the command, so
    // the command on show names the last conversion only once every option
    // is in.
    await page.fill("#hold", "1.5");
    await page.fill("#seed", "7");
    await page.fill("#harmonics", "24");
    await page.check("#timing-interval");  // the sound chose a tempo
    await page.fill("#interval", "0.25");
    await page.fill("#plateau", "50");
    await page.fill("#detune", "0");
    await page.fill("#noiseFloor", "10");
    const options = ["-t24", "-i0.25", "-p50", "-d0", "-r0", "-z10", "-n40", "-f0"];
    await page.waitForFunction((expected) => document.body.dataset.state === "ready" &&
                                 document.getElementById("command").textContent.includes(expected),
                               options.join(" "));
    shown = await waitForResult(page, shown.result);

    assert.equal(await page.getAttribute("#editor", "data-rows"), "48");
    assert.equal(await page.textContent("#summary"), "50 = 13 .. 48 : 3.250000 .. 12.000000");
    const picture = await page.$eval("#voice-picture", (img) => ({ width: img.naturalWidth, src: img.src }));
    if (picture.src) await waitForPreview(page, shown.result);
    const audio = await page.$eval("#preview", (element) => ({ duration: element.duration, ready: element.readyState }));
    // Attack to the loop end, 1.5 s held, then the release to the last
    // breakpoint: 49 rows of 0.25 s and half a plateau.
    const expectedSeconds = 49 * 0.25 + 0.125 + 1.5;
    if (picture.src) {
      assert.ok(picture.width > 0, "the voice picture loaded");
      assert.ok(Math.abs(audio.duration - expectedSeconds) < 0.01, "preview lasts " + audio.duration + " s");
      assert.ok(audio.ready >= 3, "the preview can play");
    } else {
      console.log("note: this build has no preview player");
    }

    const download = async (selector) => {
      const [file] = await Promise.all([page.waitForEvent("download"), page.click(selector)]);
      const saved = path.join(scratch, file.suggestedFilename());
      await file.saveAs(saved);
      return saved;
    };
    const voice = await download("#download-voice");
    const bitmap = await download("#download-bitmap");
    // Named as hvx prepare and tonepix name them from a bitmap.
    assert.equal(path.basename(voice), "wide_swatch-prepared.hvx");
    assert.equal(path.basename(bitmap), "wide_swatch-prepared.bmp");
    assert.equal(await page.textContent("#command"), "tonepix " + options.join(" ") + " wide_swatch-prepared.bmp");
    const reference = path.join(scratch, "reference");
    fs.mkdirSync(reference);
    fs.copyFileSync(bitmap, path.join(reference, "wide_swatch-prepared.bmp"));
    const summary = execFileSync(path.join(binDir, "tonepix"), [...options, "wide_swatch-prepared.bmp"],
                                 { cwd: reference, encoding: "utf8" });
    assert.equal(summary.trim(), await page.textContent("#summary"));
    assert.ok(fs.readFileSync(voice).equals(fs.readFileSync(path.join(reference, "wide_swatch-prepared.hvx"))),
              "the studio's voice equals tonepix -f0 on the same bitmap");

    // Saving into the folder: the file whole, inside the folder only; the
    // folder's list shows it at once.
    const saved = async (selector) => {
      await page.evaluate(() => {
        document.getElementById("status").textContent = "";
        document.getElementById("error").textContent = "";
      });
      await page.click(selector);
      await page.waitForFunction(() => /^Saved /.test(document.getElementById("status").textContent) ||
                                         document.getElementById("error").textContent !== "");
      return page.textContent("#status");
    };
    assert.match(await saved("#save-voice"), /^Saved wide_swatch-prepared.hvx/);
    await page.screenshot({ path: path.join(workDir, "studio.png"), fullPage: true });
    assert.ok(fs.readFileSync(path.join(folder, "wide_swatch-prepared.hvx")).equals(fs.readFileSync(voice)));
    assert.match(await saved("#save-bitmap"), /^Saved wide_swatch-prepared.bmp/);
    assert.deepEqual(fs.readdirSync(folder).sort(), ["photo.bmp", "tone C3.wav", "wide_swatch-prepared.bmp", "wide_swatch-prepared.hvx"]);
    assert.deepEqual(await page.$$eval("#folder-picture option", (all) => all.map((o) => o.value)),
                     ["", "photo.bmp", "tone C3.wav", "wide_swatch-prepared.bmp", "wide_swatch-prepared.hvx"]);
    // A file already there is replaced only when the user says so on the page.
    fs.writeFileSync(path.join(folder, "wide_swatch-prepared.hvx"), "mine");
    const answers = [];
    page.on("dialog", (dialog) => { answers.push(dialog.message()); answers.length === 1 ? dialog.dismiss() : dialog.accept(); });
    await saved("#save-voice");
    assert.equal(fs.readFileSync(path.join(folder, "wide_swatch-prepared.hvx"), "utf8"), "mine");
    assert.match(await saved("#save-voice"), /^Saved /);
    assert.ok(fs.readFileSync(path.join(folder, "wide_swatch-prepared.hvx")).equals(fs.readFileSync(voice)));
    assert.match(answers[0], /^"wide_swatch-prepared.hvx" already exists in the folder\. Replace it\?$/);

    // A bitmap from the folder is never written over: its prepared bitmap
    // has a name of its own.
    const photo = fs.readFileSync(path.join(folder, "photo.bmp"));
    await page.selectOption("#folder-picture", "photo.bmp");
    shown = await waitForResult(page, shown.result);
    assert.match(await saved("#save-bitmap"), /^Saved photo-prepared.bmp/);
    assert.ok(fs.readFileSync(path.join(folder, "photo.bmp")).equals(photo));

    // Plain words where the levels leave the voice silent.
    await page.fill("#noiseFloor", "50");
    await page.fill("#mute", "10");
    await page.waitForFunction(() => document.body.dataset.state === "ready" &&
                                 /silent/.test(document.getElementById("levels-note").textContent));
    assert.match(await page.textContent("#levels-note"), /^The noise floor \(50 %\) is above the ceiling \(40 %\)/);
    // With a random stage on, hvx convert with the studio's seed repeats the
    // voice, even with another picture converted before it in the run.
    await page.fill("#noiseFloor", "10");
    const seeded = "hvx convert --seed 7 -t24 -i0.25 -p50 -d10 -r0 -z10 -n40 -f0 photo-prepared.bmp";
    await page.waitForFunction((expected) => document.body.dataset.state === "ready" &&
                                 document.getElementById("command").textContent === expected, seeded);
    shown = await waitForResult(page, "");
    const batch = path.join(scratch, "batch");
    fs.mkdirSync(batch);
    fs.renameSync(await download("#download-bitmap"), path.join(batch, "photo-prepared.bmp"));
    const randomVoice = await download("#download-voice");
    makePicture(binDir, path.join(batch, "first.bmp"), 20, "random:9", 64);
    const words = seeded.split(" ");
    execFileSync(path.join(binDir, "hvx"), [...words.slice(1, -1), "first.bmp", words[words.length - 1]], { cwd: batch });
    assert.ok(fs.readFileSync(randomVoice).equals(fs.readFileSync(path.join(batch, "photo-prepared.hvx"))),
              "the studio's seeded voice equals hvx convert's, second in a batch");

    // The token left the address bar; a page of another local port can
    // neither learn it nor change a file.
    assert.equal(new URL(page.url()).search, "");
    // It tries to replace the user's own file with a saved bitmap.
    fs.writeFileSync(path.join(folder, "photo-prepared.bmp"), "mine");
    await attackFromAnotherPort(browser.context, studio, folder, shown.result);

    passed = true;
  } finally {
    await browser.close();
    const ended = await studio.stop();
    assert.equal(ended.code, 0, "SIGTERM stops the studio cleanly");
    fs.rmSync(scratch, { recursive: true, force: true });
  }
  console.log(passed ? "studio browser test: 1 passed, 0 failed; screenshot in " + path.join(workDir, "studio.png") : "");
}

main().catch((error) => {
  console.error("studio browser test failed:", error);
  process.exit(1);
});
