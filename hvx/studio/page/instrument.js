// The instrument's ways in besides the computer keyboard: an on-screen
// keyboard for the mouse, and MIDI keyboards where the browser offers Web
// MIDI (note on and off with velocity, the sustain pedal, all notes off).
import { noteName } from "./player.js";

const kBlack = new Set([1, 3, 6, 8, 10]);

// Thirteen keys, C to C of the player's octave.
export function buildKeyboard(box, player) {
  box.replaceChildren();
  for (let semitone = 0; semitone <= 12; ++semitone) {
    const key = document.createElement("button");
    key.type = "button";
    key.className = kBlack.has(semitone % 12) ? "key black" : "key white";
    key.dataset.semitone = String(semitone);
    const id = "screen:" + semitone;
    key.addEventListener("pointerdown", (e) => {
      e.preventDefault();
      key.setPointerCapture(e.pointerId);
      player.start(id, noteName(semitone, player.octave), 127, e.timeStamp).catch(() => {});
    });
    for (const up of ["pointerup", "pointercancel", "lostpointercapture"]) key.addEventListener(up, () => player.stop(id));
    box.appendChild(key);
  }
  labelKeys(box, player.octave);
}

export function labelKeys(box, octave) {
  for (const key of box.children) {
    key.textContent = key.dataset.note = noteName(Number(key.dataset.semitone), octave);
  }
}

// One MIDI message from any input, as the General MIDI channel messages.
function midiMessage(player, event) {
  const data = event.data;
  if (!data || data.length < 3) return;
  const kind = data[0] & 0xf0, number = data[1] & 0x7f, value = data[2] & 0x7f;
  const key = "midi:" + number;
  if (kind === 0x90 && value > 0) {
    player.start(key, noteName(number, -1), value, event.timeStamp).catch(() => {});
  } else if (kind === 0x80 || kind === 0x90) {
    player.stop(key);
  } else if (kind === 0xb0 && number === 64) {
    player.pedal(value >= 64);
  } else if (kind === 0xb0 && (number === 120 || number === 123)) {
    player.stopAll();
  }
}

// Listens to every MIDI input, now and as devices come and go; `say(line)`
// tells which play, or why none does.
export async function connectMidi(player, say) {
  if (typeof navigator.requestMIDIAccess !== "function") {
    say("No MIDI: this browser offers no Web MIDI here. Play with the computer keys, the note field or the keys above.");
    return;
  }
  let access = null;
  try {
    access = await navigator.requestMIDIAccess();
  } catch (e) {
    say("No MIDI: the browser refused access to MIDI devices. Play with the computer keys, the note field or the keys above.");
    return;
  }
  const attach = () => {
    const names = [];
    for (const input of access.inputs.values()) {
      input.onmidimessage = (event) => midiMessage(player, event);
      names.push(String(input.name || "a device without a name"));
    }
    say(names.length ? "MIDI: " + names.join(", ") + (names.length > 1 ? " play." : " plays.") :
      "MIDI: no device connected; connect one to play from it.");
  };
  access.onstatechange = attach;
  attach();
}
