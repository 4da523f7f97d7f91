// Playing the voice like an instrument: a note field and the computer
// keyboard (a s d f g h j k for C to C, w e t y u for the sharps, z and x an
// octave down and up). A key held keeps the sustain loop going and its
// release plays when it is let go: the page's own synthesis (synth.js, in an
// audio worklet) plays the voice as `hvx render` does. Where the browser
// offers no worklet (a page not served from this computer), each note is the
// studio's render of the voice at that note instead, faded out when let go.
import { amplitudeBound } from "./synth.js";

const kKeys = { a: 0, w: 1, s: 2, e: 3, d: 4, f: 5, t: 6, g: 7, y: 8, h: 9, u: 10, j: 11, k: 12 };
const kNames = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"];

// Equal temperament, A4 = 440 Hz, for names like C4, F#3, Bb-1; 0 for
// anything else.
export function noteFrequency(name) {
  const parts = /^([A-Ga-g])([#b]?)(-1|[0-9])$/.exec(name);
  if (!parts) return 0;
  const semitone = { c: 0, d: 2, e: 4, f: 5, g: 7, a: 9, b: 11 }[parts[1].toLowerCase()] +
                   (parts[2] === "#" ? 1 : parts[2] === "b" ? -1 : 0);
  const midi = (Number(parts[3]) + 1) * 12 + semitone;
  return midi > 127 ? 0 : 440 * Math.pow(2, (midi - 69) / 12);
}

export function noteName(semitone, octave) {
  return kNames[semitone % 12] + String(octave + Math.floor(semitone / 12));
}

// The note a key plays in `octave`, or null for a key that plays none.
export function noteForKey(key, octave) {
  return Object.prototype.hasOwnProperty.call(kKeys, key) ? noteName(kKeys[key], octave) : null;
}

export class Player {
  // `fetchVoice()` gives the current voice's envelopes; `fetchNote(note)`
  // the WAV bytes of the current voice at `note`.
  constructor(fetchVoice, fetchNote, onNote) {
    this.fetchVoice = fetchVoice;
    this.fetchNote = fetchNote;
    this.worklet = null;
    this.onNote = onNote;
    this.octave = 4;
    this.audio = null;
    this.cache = new Map();  // note -> decoded audio of the current voice
    this.held = new Map();   // key -> { source, gain }
  }

  // A new voice: notes rendered for the old one are of no use.
  forget() { this.cache.clear(); }

  context() {
    if (!this.audio) this.audio = new AudioContext();
    return this.audio;
  }

  async buffer(note) {
    if (!this.cache.has(note)) {
      const pending = this.fetchNote(note).then((bytes) => this.context().decodeAudioData(bytes));
      this.cache.set(note, pending);
      pending.catch(() => this.cache.delete(note));
    }
    return this.cache.get(note);
  }

  async start(key, note) {
    const frequency = noteFrequency(note);
    if (!frequency) throw new Error("not a note: " + note);
    const context = this.context();
    if (context.state === "suspended") await context.resume();
    const slot = { source: null, gain: null, node: null, released: false };
    this.held.set(key, slot);
    if (context.audioWorklet) return this.startSynth(context, slot, note, frequency);
    const buffer = await this.buffer(note);
    this.onNote(note, frequency);
    if (slot.released) return;
    slot.gain = context.createGain();
    slot.gain.connect(context.destination);
    slot.source = context.createBufferSource();
    slot.source.buffer = buffer;
    slot.source.connect(slot.gain);
    slot.source.start();
  }

  // Loads the synthesis ahead of the first note, which would otherwise wait
  // for it. The context stays suspended until a key or the play button.
  prepare() {
    const context = this.context();
    if (context.audioWorklet && !this.worklet) {
      this.worklet = context.audioWorklet.addModule("synth-worklet.js");
      this.worklet.catch(() => { this.worklet = null; });
    }
  }

  async startSynth(context, slot, note, frequency) {
    if (!this.worklet) this.worklet = context.audioWorklet.addModule("synth-worklet.js");
    await this.worklet;
    const voice = await this.fetchVoice();
    const bound = amplitudeBound(voice);
    const node = new AudioWorkletNode(context, "hvx-voice", {
      numberOfInputs: 0, outputChannelCount: [1],
      processorOptions: { voice, frequency, hold: null, gain: bound > 0 ? 0.89 / bound : 1 },
    });
    node.port.onmessage = (event) => { if (event.data === "ended") node.disconnect(); };
    node.connect(context.destination);
    slot.node = node;
    this.onNote(note, frequency);
    if (slot.released) node.port.postMessage("release");
  }

  stop(key) {
    const slot = this.held.get(key);
    if (!slot) return;
    this.held.delete(key);
    slot.released = true;
    if (slot.node) slot.node.port.postMessage("release");
    if (slot.source) {
      const now = this.context().currentTime;
      slot.gain.gain.setValueAtTime(slot.gain.gain.value, now);
      slot.gain.gain.linearRampToValueAtTime(0, now + 0.05);
      slot.source.stop(now + 0.06);
    }
  }

  // The keyboard plays unless a text field has it.
  listen(target, onOctave) {
    const typing = (e) => e.target instanceof HTMLInputElement && e.target.type !== "range" &&
                          e.target.type !== "checkbox" && e.target.type !== "radio";
    target.addEventListener("keydown", (e) => {
      if (typing(e) || e.ctrlKey || e.metaKey || e.altKey || e.repeat) return;
      const key = e.key.toLowerCase();
      if (key === "z" || key === "x") {
        this.octave = Math.max(0, Math.min(8, this.octave + (key === "x" ? 1 : -1)));
        onOctave(this.octave);
        return;
      }
      const note = noteForKey(key, this.octave);
      if (note && !this.held.has(key)) {
        e.preventDefault();
        this.start(key, note).catch(() => {});
      }
    });
    target.addEventListener("keyup", (e) => this.stop(e.key.toLowerCase()));
  }
}
