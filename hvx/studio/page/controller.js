// The studio page's controller: the controls, the turns of the loop
// (picture, options, conversion, result) and the files. The editor's modules
// reach it through `window.studio`.
const $ = (id) => document.getElementById(id);
// Controls of the page's own; tonepix's options are added from the session.
const controls = ["rows", "topFirst", "invert", "seed", "hold"];
const wholeNumbers = { rows: "Rows", seed: "The seed" };
const texts = [];  // options typed as text (the interval), passed as typed
let session = { folder: null, pictures: [], uploadLimit: 0, maxHold: 30 };
let picture = null;      // the studio's id of the current picture
let pictureDrawn = false; // that picture came from the editor's grid
let drawnGrid = null;    // a grid from the editor not yet taken by the studio
// A voice file opened as it is: its id, and the page's edit of it (the whole
// grid and the loop's rows; null: as opened).
let openedVoice = null;
let voiceEdit = { levels: null, loopStart: null, loopEnd: null };
let latest = 0;          // number of the newest turn; older answers are dropped
let current = null;      // the result on show
let changedAt = 0;       // when the turn on its way was asked for
const shownUrls = [];    // blob addresses of the files on show, freed when replaced

// The token comes once in the printed address; it then lives in this tab's
// session storage, which no other origin (no other local port) can read, and
// travels only in a header this script sets. It leaves the address bar so
// that it is not kept in the history or shown on screen.
const token = (() => {
  const fromAddress = new URLSearchParams(location.search).get("token");
  if (fromAddress) {
    sessionStorage.setItem("hvx-studio-token", fromAddress);
    history.replaceState(null, "", location.pathname);
  }
  return sessionStorage.getItem("hvx-studio-token") || "";
})();

function setStatus(text) { $("status").textContent = text; }
function showError(sentence) {
  $("error").textContent = sentence;
  document.body.dataset.state = sentence ? "error" : document.body.dataset.state;
}

// One call to the studio; a refusal becomes an Error with the studio's sentence.
async function call(path, options) {
  const headers = Object.assign({ "X-Studio-Token": token }, (options && options.headers) || {});
  try {
    return await fetch(path, Object.assign({}, options, { headers, credentials: "omit" }));
  } catch (e) {
    throw new Error("The studio is not answering; is hvx studio still running?");
  }
}

async function refusal(response) {
  let body = null;
  try { body = await response.json(); } catch (e) { body = null; }
  const error = new Error((body && body.error) || "The studio refused the request (status " + response.status + ").");
  error.exists = body && body.exists;
  return error;
}

async function api(path, options) {
  const response = await call(path, options);
  if (!response.ok) throw await refusal(response);
  return response.json();
}

// A file of a result as a blob: address, for an image, the player or a download.
async function fileUrl(path) {
  const response = await call(path);
  if (!response.ok) throw await refusal(response);
  const url = URL.createObjectURL(await response.blob());
  shownUrls.push(url);
  return url;
}

// A refused value's reason, beside its field; "" clears it.
function markField(id, sentence) {
  const input = $(id);
  let note = $(id + "-refused");
  if (!note) {
    note = document.createElement("span");
    note.id = id + "-refused";
    note.className = "refused";
    note.setAttribute("role", "alert");
    input.insertAdjacentElement("afterend", note);
  }
  note.textContent = sentence;
  input.setAttribute("aria-invalid", sentence ? "true" : "false");
}

// Fields whose refusals the studio words as "<label> must ...".
function labelledFields() {
  return Object.entries(wholeNumbers).concat([["hold", "The preview hold"]]);
}

// Marks the field a sentence of refusal names, if any.
function markRefusal(sentence) {
  for (const [id, label] of labelledFields()) {
    markField(id, sentence.startsWith(label + " ") ? sentence : "");
  }
}

function refused(id, sentence) {
  markField(id, sentence);
  return new Error(sentence);
}

// The preview hold, or refused beside its field.
function readHold() {
  const hold = Number($("hold").value);
  if (!$("hold").value.trim() || !(hold >= 0 && hold <= session.maxHold)) {
    throw refused("hold", "The preview hold must be between 0 and " + session.maxHold + " seconds.");
  }
  return hold;
}

// An opened voice is played as it is: only its edit and the hold apply.
function readVoiceRequest() {
  markField("hold", "");
  const request = { voice: openedVoice, hold: readHold() };
  if (voiceEdit.levels) request.levels = voiceEdit.levels;
  if (voiceEdit.loopStart !== null) request.loopStart = voiceEdit.loopStart;
  if (voiceEdit.loopEnd !== null) request.loopEnd = voiceEdit.loopEnd;
  return request;
}

function readRequest() {
  if (openedVoice) return readVoiceRequest();
  const request = { picture };
  for (const [id] of labelledFields()) markField(id, "");
  for (const [id, label] of Object.entries(wholeNumbers)) {
    const text = $(id).value.trim();
    if (!/^-?[0-9]+$/.test(text)) throw refused(id, label + " must be a whole number.");
    request[id] = Number(text);
  }
  request.topFirst = $("topFirst").checked;
  request.invert = $("invert").checked;
  request.useTempo = $("timing-tempo").checked;
  for (const id of texts) request[id] = $(id).value.trim();
  request.hold = readHold();
  return request;
}

function waitFor(element, okEvent) {
  return new Promise((resolve, reject) => {
    const done = () => { element.removeEventListener(okEvent, done); element.removeEventListener("error", failed); resolve(); };
    const failed = () => { element.removeEventListener(okEvent, done); element.removeEventListener("error", failed); reject(new Error("The preview could not be loaded.")); };
    element.addEventListener(okEvent, done);
    element.addEventListener("error", failed);
  });
}

// What an opened voice is, as the grid shows it, and whether tonepix makes it.
function describeVoice(result) {
  const voice = result.opened;
  const s = (seconds) => seconds.toFixed(3) + " s";
  const rows = (row) => row >= 0 ? "row " + row : "between rows";
  $("grid-note").textContent = "Voice \"" + voice.name + "\" from " + voice.file + ": " + voice.rows + " points × " +
    (voice.columns > 64 ? voice.columns / 64 + " sets of 64 harmonics" : voice.columns + " harmonics") + ", as hvx picture --absolute draws it (amplitude 1 is white), the first point at the bottom; " +
    "loop from " + s(voice.loopStart) + " (" + rows(voice.loopStartRow) + ") to " + s(voice.loopEnd) + " (" +
    rows(voice.loopEndRow) + "); base frequency " + voice.baseFrequency.toFixed(2) + " Hz. " +
    (voice.loopMovable ? "Edits change its amplitudes at its own points; its times, frequencies and the rest stay." :
      "Its harmonics have points at different times: edits change amplitudes, the loop stays where it is.") +
    (voice.edited ? " Edited: save it under a new name." : "");
  $("voice-note").textContent = voice.tonepixMakes ?
    "tonepix makes this very voice from the grid as a picture: " + result.command + " (the picture is offered below)." :
    "No tonepix picture makes this voice byte for byte; it is saved as a voice.";
}

// Says what the picture became; the editor's grid shows it.
function describeGrid(result) {
  if (result.opened) {
    describeVoice(result);
    return;
  }
  $("voice-note").textContent = "";
  const prepared = result.prepared;
  const size = prepared.sourceWidth + "×" + prepared.sourceHeight;
  $("grid-note").textContent = "From " + size + " pixels: " + prepared.rows + " rows × 64 harmonics, harmonic 1 on the left; " +
    "time runs " + (result.topFirst ? "down" : "up") + " from the start row." +
    (prepared.capped ? " The shape asked for " + prepared.uncappedRows + " rows; capped at " + prepared.rows + "." : "");
}

// A result is ready once its voice picture is on show and it can be played
// (the editor adds what playing needs: the voice's envelopes for the page's
// own synthesis). The rendered preview file follows without holding it up.
async function showResult(result, turn) {
  const loads = window.studio.playable.map((prepare) => prepare(result));
  for (const load of loads) load.catch(() => {});  // a newer result may leave it unheard
  const pictureUrl = result.files.voicePicture ? await fileUrl(result.files.voicePicture) : null;
  if (turn !== latest) return;
  for (const url of shownUrls.splice(0, shownUrls.length)) {
    if (url !== pictureUrl) URL.revokeObjectURL(url);
    else shownUrls.push(url);
  }
  describeGrid(result);
  $("summary").textContent = result.summary;
  $("messages").textContent = result.messages;
  $("levels-note").textContent = result.levelsNote;
  // Detune, mute and random values come from the studio's seed, which only
  // hvx convert takes: the studio names it then.
  $("command-note").textContent = result.opened && !result.command ?
    "No command line makes this voice from a picture; save or download it." :
    /^hvx /.test(result.command) ?
    "The same voice from the command line (tonepix seeds from the clock; hvx convert from the seed):" :
    "The same voice from the command line:";
  $("command").textContent = result.command;
  const voicePicture = $("voice-picture");
  if (pictureUrl) {
    loads.push(waitFor(voicePicture, "load"));
    voicePicture.src = pictureUrl;
  } else {
    voicePicture.removeAttribute("src");
  }
  $("preview-note").textContent = result.previewError ||
    (result.files.preview ? "Preview: " + result.previewSeconds.toFixed(2) + " s, sustain held " + $("hold").value + " s" +
     (result.previewRate < 48000 ? ", at " + result.previewRate + " Hz to keep a long voice small." : ".") : "");
  // An opened voice offers a picture only when tonepix makes it from one.
  const hasBitmap = Boolean(result.files.bitmap);
  $("download-voice").setAttribute("aria-disabled", "false");
  $("download-bitmap").setAttribute("aria-disabled", hasBitmap ? "false" : "true");
  $("download-bitmap").hidden = !hasBitmap;
  for (const [id, shown] of [["save-voice", result.canSave], ["save-bitmap", result.canSave && hasBitmap]]) {
    $(id).hidden = !shown;
    $(id).disabled = !shown;
  }
  $("save-as-row").hidden = !result.opened;
  if (result.opened && (!current || !current.opened || current.opened.file !== result.opened.file)) {
    $("save-as").value = result.voiceFile;
  }
  current = result;
  document.dispatchEvent(new CustomEvent("studio:result", { detail: result }));
  await Promise.all(loads);
  if (turn !== latest) return;
  const took = performance.now() - changedAt;
  document.body.dataset.result = result.result;
  document.body.dataset.roundTrip = took.toFixed(1);
  document.body.dataset.state = "ready";
  document.body.classList.remove("busy");
  setStatus(result.name + ": ready in " + Math.round(took) + " ms.");
  loadPreview(result, turn);
}

// The rendered preview, exactly as hvx render writes it, for the player and
// the spectrogram; a newer result stops the transfer of an older one.
let previewTransfer = null;
let previewUrl = null;  // the blob address the player holds
async function loadPreview(result, turn) {
  if (previewTransfer) previewTransfer.abort();
  const audio = $("preview");
  if (!result.files.preview) {
    audio.removeAttribute("src");
    if (previewUrl) URL.revokeObjectURL(previewUrl);
    previewUrl = null;
    return;
  }
  const transfer = previewTransfer = new AbortController();
  try {
    const response = await call(result.files.preview, { signal: transfer.signal });
    if (!response.ok) throw await refusal(response);
    const bytes = await response.arrayBuffer();
    if (turn !== latest) return;
    // The player keeps the earlier preview until this one replaces it.
    const url = URL.createObjectURL(new Blob([bytes], { type: "audio/wav" }));
    if (previewUrl) URL.revokeObjectURL(previewUrl);
    previewUrl = url;
    const loaded = waitFor(audio, "canplaythrough");
    audio.src = url;
    audio.load();
    await loaded;
    if (turn !== latest) return;
    document.body.dataset.preview = result.result;
    document.body.dataset.previewTrip = (performance.now() - changedAt).toFixed(1);
    document.dispatchEvent(new CustomEvent("studio:preview", { detail: { result, bytes } }));
  } catch (e) {
    if (turn === latest && !transfer.signal.aborted) $("preview-note").textContent = e.message;
  }
}

// One conversion on its way at a time: a change goes at once, and changes
// made meanwhile go together as soon as it is answered. Only the newest
// result is shown.
let converting = false;
let convertAgain = false;
let lastSent = null;  // the request of the result shown or on its way
async function convert() {
  if (!picture && !drawnGrid && !openedVoice) return;
  if (converting) {
    convertAgain = true;
    return;
  }
  let body = null, result = null, problem = null;
  const grid = drawnGrid;
  try {
    const request = readRequest();
    // A drawn grid travels with its conversion; the answer carries the
    // envelopes the page plays.
    if (grid && !openedVoice) {
      delete request.picture;
      request.grid = grid;
    }
    request.withVoice = true;
    body = JSON.stringify(request);
  } catch (e) {
    problem = e;
  }
  // An input and a change event, or a field left as it was: nothing new.
  if (body !== null && body === lastSent) return;
  lastSent = body;
  const turn = ++latest;
  changedAt = performance.now();
  document.body.dataset.state = "busy";
  document.body.classList.add("busy");
  converting = true;
  try {
    if (!problem) {
      result = await api("api/convert", { method: "POST", headers: { "Content-Type": "application/json" }, body });
    }
  } catch (e) {
    problem = e;
    lastSent = null;  // the same request may be answered next time
    markRefusal(e.message);
  }
  converting = false;
  // Taken as the picture unless a newer grid or a picture from a file came meanwhile.
  if (grid && result && drawnGrid === grid) {
    picture = result.picture;
    pictureDrawn = true;
    drawnGrid = null;
  }
  if (convertAgain) {
    convertAgain = false;
    lastSent = null;  // its answer is not shown: the newest may ask the same
    convert();
    return;
  }
  if (turn !== latest) return;
  try {
    if (problem) throw problem;
    showError("");
    await showResult(result, turn);
  } catch (e) {
    if (turn !== latest) return;
    lastSent = null;
    document.body.classList.remove("busy");
    showError(e.message);
  }
}

// A sound's analysis: its pitch and parts, as hvx analyze prints them. The
// rows' timing and detune are set as the tonepix command hvx analyze prints,
// and the note field plays the picture at the pitch its harmonics hold most.
function describeSound(sound) {
  const line = $("sound-note");
  if (!sound) {
    line.textContent = "";
    return;
  }
  const s = (seconds) => seconds.toFixed(3) + " s";
  const parts = sound.parts;
  line.textContent = "Sound: pitch " + sound.pitch.text + "; onset " + s(parts.onset) +
    (parts.body ? ", attack to " + s(parts.attackEnd) + ", body at " + parts.bodyLevel.toFixed(1) +
       " dBFS to the note end " + s(parts.noteEnd)
     : ", loudest at " + s(parts.attackEnd) + ", no body (the level only falls), 30 dB down at " + s(parts.noteEnd)) +
    ", silent from " + s(parts.end) + ". " + sound.rows + " rows (tonepix " + sound.tonepix + "), played at " +
    sound.played.toFixed(2) + " Hz.";
  $("note").value = sound.played.toFixed(2) + " Hz";
  $(sound.bpm > 0 ? "timing-tempo" : "timing-interval").checked = true;
  if (sound.bpm > 0) $("bpm").value = String(sound.bpm);
  else $("interval").value = sound.tonepix.slice(2);
  $("detune").value = "0";
}

// The controls that shape a picture into a voice: an opened voice is played
// as it is, so they rest while it is open.
function pictureControls(enabled) {
  for (const id of controls.concat(Object.keys(wholeNumbers), texts)) {
    if (id !== "hold") $(id).disabled = !enabled;
  }
  for (const radio of document.querySelectorAll("input[name=timing]")) radio.disabled = !enabled;
  $("options-note").textContent = enabled ? "" :
    "An opened voice plays as it is: the preparing and tonepix's options apply to pictures.";
}

async function usePicture(promise) {
  showError("");
  document.body.dataset.state = "busy";
  try {
    const added = await promise;
    picture = added.picture || null;
    pictureDrawn = false;
    drawnGrid = null;
    openedVoice = added.voice || null;
    voiceEdit = { levels: null, loopStart: null, loopEnd: null };
    pictureControls(!openedVoice);
    describeSound(added.sound);
    setStatus((added.sound ? "Sound analysed: " : added.voice ? "Voice opened: " : "Picture ") + added.name + ".");
    await convert();
  } catch (e) {
    showError(e.message);
  }
}

function upload(file) {
  if (!file) return;
  if (session.uploadLimit && file.size > session.uploadLimit) {
    showError("\"" + file.name + "\" is larger than the " + Math.round(session.uploadLimit / 1048576) + " MiB the studio accepts.");
    return;
  }
  usePicture(api("api/picture?name=" + encodeURIComponent(file.name),
                 { method: "POST", headers: { "Content-Type": "application/octet-stream" }, body: file })
    .finally(refreshFolder));
}

// A download made here, from the file's bytes: a plain link could not send the token.
async function download(file, name) {
  if (!current) return;
  try {
    const link = document.createElement("a");
    link.href = await fileUrl(current.files[file]);
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
  } catch (e) {
    showError(e.message);
  }
}

// Saves into the folder; a file already there is replaced only once the user agreed.
async function save(file) {
  if (!current) return;
  const as = current.opened && file === "voice.hvx" ? $("save-as").value.trim() : undefined;
  const ask = (replace) => api("api/save", { method: "POST", headers: { "Content-Type": "application/json" },
                                             body: JSON.stringify({ result: current.result, file, replace, as }) });
  let saved = null, problem = "";
  try {
    try {
      saved = await ask(false);
    } catch (e) {
      if (!e.exists || !confirm(e.message + " Replace it?")) throw e;
      saved = await ask(true);
    }
  } catch (e) {
    problem = e.message;
  }
  await refreshFolder();
  showError(problem);
  if (saved) setStatus("Saved " + saved.saved + " in " + saved.folder + ".");
}

// The folder's pictures, as they are now.
async function refreshFolder() {
  try {
    session = await api("api/session");
  } catch (e) {
    return;
  }
  const list = $("folder-picture");
  const chosen = list.value;
  while (list.options.length > 1) list.remove(1);
  if (session.folder !== null) {
    $("folder-row").hidden = false;
    $("folder-name").textContent = session.folder;
    for (const name of session.pictures) {
      const option = document.createElement("option");
      option.value = name;
      option.textContent = name;
      list.appendChild(option);
    }
    list.value = session.pictures.includes(chosen) ? chosen : "";
  }
}

// One row per tonepix option, as the studio lists them: its words, its
// letter, and an input named by the request field it fills. The interval and
// the tempo share a fieldset, a radio button choosing between them.
function addOptionControls(options) {
  const box = $("tone-options");
  let timing = null;
  for (const option of options) {
    const row = document.createElement("div");
    row.className = "row";
    const name = document.createElement("span");
    const letter = document.createElement("small");
    letter.textContent = "-" + option.letter;
    name.append((option.unit ? option.label + " " + option.unit : option.label) + " ", letter);
    const input = document.createElement("input");
    input.id = option.key;
    if (option.kind === "seconds") {
      input.type = "text";
      texts.push(option.key);
    } else {
      input.type = "number";
      input.step = "1";
      wholeNumbers[option.key] = option.label;
    }
    row.append(name, input);
    if (option.timing) {
      if (!timing) {
        timing = document.createElement("fieldset");
        const legend = document.createElement("legend");
        legend.textContent = "timing";
        timing.appendChild(legend);
        box.appendChild(timing);
      }
      const choice = document.createElement("label");
      const radio = document.createElement("input");
      radio.type = "radio";
      radio.name = "timing";
      radio.id = "timing-" + option.timing;
      choice.append(radio, " " + option.timing);
      timing.append(choice, row);
      listen(radio.id);
    } else {
      box.appendChild(row);
    }
    listen(option.key);
  }
}

async function start() {
  try {
    session = await api("api/session");
  } catch (e) {
    showError(token ? e.message : "Open the address hvx studio printed, with its token.");
    return;
  }
  addOptionControls(session.options);
  // tonepix's defaults come from the studio, which has them from tonepix.
  for (const [name, value] of Object.entries(session.defaults)) {
    if (name === "useTempo") {
      $(value ? "timing-tempo" : "timing-interval").checked = true;
    } else {
      $(name).value = value;
    }
  }
  await refreshFolder();
  document.body.dataset.state = "idle";
}

$("file").addEventListener("change", () => upload($("file").files[0]));
const drop = $("drop");
drop.addEventListener("dragover", (e) => { e.preventDefault(); drop.classList.add("over"); });
drop.addEventListener("dragleave", () => drop.classList.remove("over"));
drop.addEventListener("drop", (e) => {
  e.preventDefault();
  drop.classList.remove("over");
  upload(e.dataTransfer.files[0]);
});
$("folder-picture").addEventListener("change", () => {
  const name = $("folder-picture").value;
  if (name) {
    usePicture(api("api/folder-picture", { method: "POST", headers: { "Content-Type": "application/json" },
                                           body: JSON.stringify({ name }) }));
  }
});
function listen(id) {
  $(id).addEventListener("input", convert);
  $(id).addEventListener("change", convert);
}
for (const id of controls) listen(id);
$("download-voice").addEventListener("click", () =>
  download("voice", current.opened ? $("save-as").value.trim() || current.voiceFile : current.voiceFile));
$("download-bitmap").addEventListener("click", () => download("bitmap", current.bitmapFile));
$("save-voice").addEventListener("click", () => save("voice.hvx"));
$("save-bitmap").addEventListener("click", () => save("picture.bmp"));
// What the editor's modules use of this page.
window.studio = {
  api, usePicture, showError, markField,
  picture: () => picture,
  pictureDrawn: () => pictureDrawn,
  // A grid drawn in the editor, {name, levels}: converted at once, or with
  // the next request when one is on its way.
  convertGrid(grid) {
    if (openedVoice) voiceEdit.levels = grid.levels;
    else drawnGrid = grid;
    convert();
  },
  // The opened voice, or null; its loop moved to these rows.
  openedVoice: () => openedVoice,
  moveLoop(start, end) {
    // A row below 0 is an end between rows, as opened: an undo back to it
    // asks for the loop as the file has it.
    const asOpened = start < 0 || end < 0;
    voiceEdit.loopStart = asOpened ? null : start;
    voiceEdit.loopEnd = asOpened ? null : end;
    convert();
  },
  // A preset or a new size makes a picture of the grid: the voice is left.
  leaveVoice() {
    if (!openedVoice) return;
    openedVoice = null;
    pictureControls(true);
    setStatus("The grid is a picture now; the voice file is left as it was.");
  },
  fetch: call,  // with the token, as every call
  ready: null,  // settles once the controls hold tonepix's defaults
  playable: [], // (result) => promise: what playing a result needs in hand
};
window.studio.ready = start();
