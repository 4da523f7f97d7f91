// The editor on the page: a grid drawn or made from a preset becomes the
// picture the studio converts, and every edit can be undone. Loaded by
// page.html after controller.js, which offers `window.studio` (its calls to
// the server and its turn of the loop) and announces each result with
// "studio:result".
import { GridEditor } from "./grid.js";
import * as ops from "./operations.js";
import { History } from "./undo.js";
import { Player, hertzOf } from "./player.js";
import { drawSpectrogram } from "./spectrogram.js";
import { buildKeyboard, labelKeys, connectMidi } from "./instrument.js";

const $ = (id) => document.getElementById(id);
const studio = window.studio;
const kUndoSteps = 100;
// Each file has its own undo history: a switch keeps the one left, with the
// grid as it was left, and brings back the new file's, or starts one.
const histories = new Map();  // file name -> History
let historyOwner = "";  // the opening voice, of no file
let history = new History(kUndoSteps);
function switchHistory(name) {
  if (name === historyOwner) return false;
  if (editor.grid) history.record(editor.grid);
  histories.set(historyOwner, history);
  history = histories.get(name) || new History(kUndoSteps);
  historyOwner = name;
  return true;
}
let facts = null;         // the server's: grid width, row limits, hold
let voiceName = "saw";
let current = null;       // the result on show
const editor = new GridEditor($("editor"), {
  onStroke: (before) => history.record(snapshot(before)),
  onChange: () => sendSoon(),
  onLoop: (which, row) => moveLoop(which, row),
});
let openedId = null;  // the opened voice the grid holds, or null for a picture

// A grid as undo keeps it: with an opened voice's loop rows, which an undo
// brings back too.
function snapshot(grid = editor.grid) {
  if (grid && editor.voiceLoop) grid.loop = [editor.loopStart, editor.loopEnd];
  return grid;
}

function showLoop(start, end) {
  editor.loopStart = start;
  editor.loopEnd = end;
  editor.draw();
}

// The row an end of the loop stands on; for one between rows, the row
// before its start or after its end, so that the loop keeps what it held.
function loopRow(which) {
  const row = which === "start" ? editor.loopStart : editor.loopEnd;
  const opened = current && current.opened;
  if (row >= 0 || !opened || !opened.times.length) return row;
  const times = opened.times;
  let k = which === "start" ? times.length - 1 : 0;
  if (which === "start") while (k > 0 && times[k] > opened.loopStart) --k;
  else while (k < times.length - 1 && times[k] < opened.loopEnd) ++k;
  return k;
}

// A loop tool picked a row: the loop's start or end moves there.
function moveLoop(which, row) {
  const start = which === "start" ? row : loopRow("start");
  const end = which === "end" ? row : loopRow("end");
  if (!(start >= 0 && end > start)) {
    studio.showError("The loop must start on a row below the row it ends on.");
    return;
  }
  studio.showError("");
  history.record(snapshot(ops.copyGrid(editor.grid)));
  showLoop(start, end);
  studio.moveLoop(start, end);
}

// The grid holds an opened voice (its own points, its loop) or a picture.
// Its loop tools only when its harmonics share the rows' times.
function voiceMode(on, loopMovable = false) {
  editor.voiceLoop = on;
  editor.rowsHeard = on ? Infinity : facts.rowsHeard;
  $("loop-tools").hidden = !(on && loopMovable);
  for (const op of ["stretch", "squeeze"]) document.querySelector("[data-op=" + op + "]").disabled = on;
  if (!(on && loopMovable) && editor.tool.startsWith("loop-")) document.querySelector("[data-tool=brush]").click();
}

// The grid goes at once (the page sends it with the next conversion when
// one is on its way).
function sendSoon() {
  studio.convertGrid({ name: voiceName, levels: Array.from(editor.grid.levels) });
}

// True when the result on show is the grid in the editor, nothing on its way.
function synced() {
  if (!current || document.body.dataset.state !== "ready" ||
      document.body.dataset.result !== current.result) return false;
  const shown = current.prepared.grid;
  return shown.length === editor.grid.levels.length && editor.grid.levels.every((v, i) => v === shown[i]);
}

// One undoable edit: `change` takes the grid and gives the new one.
function edit(change) {
  const before = snapshot();
  const after = change(before);
  history.record(before);
  editor.setGrid(after);
  sendSoon();
}

function step(back) {
  const grid = back ? history.undo(snapshot()) : history.redo(snapshot());
  if (grid) {
    editor.setGrid(grid);
    if (grid.loop && editor.voiceLoop &&
        (grid.loop[0] !== editor.loopStart || grid.loop[1] !== editor.loopEnd)) {
      showLoop(grid.loop[0], grid.loop[1]);
      studio.moveLoop(grid.loop[0], grid.loop[1]);
    }
    sendSoon();
  }
}

// A field's whole number; a value out of range is refused beside the field.
function whole(id, low, high) {
  const text = $(id).value.trim();
  const value = Number(text);
  if (!text || !Number.isInteger(value) || value < low || value > high) {
    const sentence = $(id).dataset.label + " must be a whole number from " + low + " to " + high + ".";
    studio.markField(id, sentence);
    throw new Error(sentence);
  }
  studio.markField(id, "");
  return value;
}

// A brush setting: taken when it is good, refused beside its field when not.
function setting(id, low, high, take) {
  $(id).addEventListener("input", () => {
    try {
      take(whole(id, low, high));
    } catch (e) { /* shown beside the field */ }
  });
}

function guarded(action) {
  return () => {
    try {
      action();
    } catch (e) {
      studio.showError(e.message);
    }
  };
}

function adsrShape(rows) {
  return { attack: whole("attack", 0, rows), decay: whole("decay", 0, rows),
           sustain: whole("sustain", 0, 100) / 100 };
}

function makePreset() {
  const rows = whole("editor-rows", 1, facts.maxRows);
  // A preset is a new picture: an opened voice is left as it was.
  if (editor.voiceLoop) {
    studio.leaveVoice();
    openedId = null;
    voiceMode(false);
  }
  voiceName = $("preset").value;
  return ops.applyAdsr(ops.preset(voiceName, rows, facts.harmonics), adsrShape(rows));
}

const operations = {
  "shift-up": (g) => ops.shiftHarmonics(g, 1),
  "shift-down": (g) => ops.shiftHarmonics(g, -1),
  odd: (g) => ops.keepHarmonics(g, true),
  even: (g) => ops.keepHarmonics(g, false),
  soften: ops.soften,
  invert: ops.invert,
  normalise: ops.normalise,
  reverse: ops.reverseTime,
  stretch: (g) => ops.stretchTime(g, Math.min(facts.maxRows, g.rows * 2)),
  squeeze: (g) => ops.stretchTime(g, Math.max(1, Math.ceil(g.rows / 2))),
  adsr: (g) => ops.applyAdsr(g, adsrShape(g.rows)),
};

// The envelopes of the result on show, for the page's own synthesis: in hand
// before the result counts as ready, so that a key plays it at once.
let voice = null;  // { result, envelopes }
function voiceOf(result) {
  if (!voice || voice.result !== result.result) {
    voice = { result: result.result,
              envelopes: result.voice ? Promise.resolve(result.voice) :
                studio.api("api/voice", { method: "POST", headers: { "Content-Type": "application/json" },
                                          body: JSON.stringify({ result: result.result }) }) };
  }
  return voice.envelopes;
}
studio.playable.push(voiceOf);

const player = new Player(() => voiceOf(current), async (note) => {
  if (!current) throw new Error("no voice yet");
  const response = await studio.fetch("api/note", {
    method: "POST", headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ result: current.result, ...(hertzOf(note) ? { frequency: hertzOf(note) } : { note }),
                           hold: Number($("hold").value) || 0 }),
  });
  if (!response.ok) throw new Error("The studio could not play " + note + ".");
  return response.arrayBuffer();
}, (notes) => {
  $("playing").textContent = notes.length ? notes.map(({ note, frequency }) => note + " (" + frequency.toFixed(2) + " Hz)").join(", ") : "–";
  document.body.dataset.playing = String(notes.length);
  if (notes.length) {
    const { note, frequency } = notes[notes.length - 1];
    document.body.dataset.played = note;
    document.body.dataset.playedHz = String(frequency);
  }
});

document.addEventListener("studio:result", (event) => {
  const result = event.detail;
  current = result;
  player.forget();
  // The next notes play this voice, sent to the synthesis ahead of them.
  voiceOf(result).then((envelopes) => { if (current === result) player.useVoice(envelopes); }, () => {});
  if (result.opened) {
    const id = studio.openedVoice();
    if (id !== openedId) {
      // A voice just opened: its grid and loop; edits after this lead.
      openedId = id;
      // Another voice of the same name and another size has a history of its own.
      const opened = result.opened;
      if (!switchHistory("voice:" + opened.file + " " + opened.rows + "×" + opened.columns) && editor.grid) {
        history.record(snapshot());
      }
      voiceName = result.name;
      voiceMode(true, opened.loopMovable);
      editor.setGrid(ops.makeGrid(result.opened.rows, result.opened.columns, Uint8Array.from(result.prepared.grid)));
      showLoop(result.opened.loopStartRow, result.opened.loopEndRow);
      // Played as it is: at its own base frequency.
      $("note").value = result.opened.baseFrequency.toFixed(2) + " Hz";
    }
    return;
  }
  if (openedId !== null || editor.voiceLoop) {
    openedId = null;
    voiceMode(false);
  }
  if (!studio.pictureDrawn()) {
    // A picture from a file: its prepared grid is what the editor edits now.
    // Another file brings its own history; the same one with other
    // preparing options is an undoable step.
    if (!switchHistory(result.name) && editor.grid) history.record(editor.grid);
    voiceName = result.name;
    editor.setGrid(ops.makeGrid(result.prepared.rows, facts.harmonics, Uint8Array.from(result.prepared.grid)));
  }
  // Without a plateau each row is one point of the voice, so the loop's
  // first point is a row.
  const rowPerPoint = Number($("plateau").value) <= 0;
  editor.loopStart = rowPerPoint && result.loopEnd > result.loopStart ? result.loopStart : -1;
  editor.draw();
});

// The spectrogram waits until the edits pause: it is the slowest drawing here.
let spectrogramTimer = null;
document.addEventListener("studio:preview", (event) => {
  const { result, bytes } = event.detail;
  clearTimeout(spectrogramTimer);
  spectrogramTimer = setTimeout(async () => {
    try {
      const wanted = () => current === result && document.body.dataset.state === "ready";
      if (wanted()) await drawSpectrogram($("spectrogram"), bytes, wanted);
    } catch (e) { /* the preview player shows why there is none */ }
  }, 300);
});

async function start() {
  await studio.ready;  // a conversion reads the page's controls
  const session = await studio.api("api/session");
  facts = session.editor;
  // tonepix's closing points take the place of the rows after these.
  editor.rowsHeard = facts.rowsHeard;
  for (const id of ["editor-rows", "attack", "decay"]) $(id).max = String(facts.maxRows);
  $("level").max = String(facts.levels - 1);
  for (const name of ops.presetNames) {
    const option = document.createElement("option");
    option.value = option.textContent = name;
    $("preset").appendChild(option);
  }
  for (const button of document.querySelectorAll("[data-tool]")) {
    button.addEventListener("click", () => {
      editor.tool = button.dataset.tool;
      for (const other of document.querySelectorAll("[data-tool]")) other.classList.toggle("chosen", other === button);
    });
  }
  for (const button of document.querySelectorAll("[data-op]")) {
    button.addEventListener("click", guarded(() => edit(operations[button.dataset.op])));
  }
  setting("level", 0, facts.levels - 1, (value) => { editor.level = value; });
  setting("size", 1, 16, (value) => { editor.size = value; });
  $("apply-preset").addEventListener("click", guarded(() => edit(makePreset)));
  $("undo").addEventListener("click", () => step(true));
  $("redo").addEventListener("click", () => step(false));
  document.addEventListener("keydown", (e) => {
    if (!(e.ctrlKey || e.metaKey) || e.target instanceof HTMLInputElement && e.target.type === "text") return;
    const key = e.key.toLowerCase();
    if (key === "z" || key === "y") {
      e.preventDefault();
      step(key === "z" && !e.shiftKey);
    }
  });
  player.listen(document, (octave) => {
    $("octave").textContent = String(octave);
    labelKeys($("keyboard"), octave);
  });
  buildKeyboard($("keyboard"), player);
  $("stop-all").addEventListener("click", () => player.stopAll());
  connectMidi(player, (line) => { $("midi-status").textContent = line; });
  const prepared = player.prepare();
  if (prepared) prepared.then(() => { if (current) voiceOf(current).then((envelopes) => player.useVoice(envelopes)); }, () => {});
  $("play").addEventListener("pointerdown", () => player.start("play", $("note").value.trim()).catch(() =>
    studio.showError("Name a note such as C4, F#3 or Bb2, or a pitch such as 130.81 Hz.")));
  $("play").addEventListener("pointerup", () => player.stop("play"));
  $("play").addEventListener("pointerleave", () => player.stop("play"));
  // A voice to play at once: the saw preset.
  editor.setGrid(makePreset());
  sendSoon();
}

window.studioEditor = { editor, history: () => history, player, ops, synced, result: () => current };
start().catch((e) => studio.showError(e.message));
