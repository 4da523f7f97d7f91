// Playing the voice like an instrument: the computer keyboard (a s d f g h
// j k for C to C, w e t y u for the sharps, z and x an octave down and up),
// the note field, the on-screen keyboard and MIDI keyboards, several notes at
// once. A key held keeps the sustain loop going and its release plays when it
// is let go (or when the sustain pedal comes up): the page's own synthesis
// (synth.js, in one audio worklet node holding the voice) plays the voice as
// `hvx render` does. Where the browser offers no worklet (a page not served
// from this computer), each note is the studio's render of the voice at that
// note instead, faded out when let go.
import { amplitudeBound } from "./synth.js";

const kKeys = { a: 0, w: 1, s: 2, e: 3, d: 4, f: 5, t: 6, g: 7, y: 8, h: 9, u: 10, j: 11, k: 12 };
const kNames = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"];

// A pitch given in hertz, like "130.81 Hz" (a sound's own); 0 for anything else.
export function hertzOf(text) {
  const parts = /^([0-9]+(?:\.[0-9]+)?) ?(?:Hz)?$/i.exec(text);
  const hertz = parts ? Number(parts[1]) : 0;
  return hertz >= 1 && hertz <= 20000 ? hertz : 0;
}

// Equal temperament, A4 = 440 Hz, for names like C4, F#3, Bb-1, or hertz as
// hertzOf reads them; 0 for anything else.
export function noteFrequency(name) {
  if (hertzOf(name)) return hertzOf(name);
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
  // the WAV bytes of the current voice at `note`; `onChange(notes)` hears
  // which notes sound, each { note, frequency, velocity }, after every start
  // and end.
  constructor(fetchVoice, fetchNote, onChange) {
    this.fetchVoice = fetchVoice;
    this.fetchNote = fetchNote;
    this.onChange = onChange;
    this.worklet = null;
    this.node = null;         // the instrument node, once the worklet is in
    this.voiceSent = null;    // the envelopes the node holds
    this.voiceGain = 1;
    this.octave = 4;
    this.audio = null;
    this.output = null;       // every note goes through it; `level()` reads it
    this.cache = new Map();   // note -> decoded audio of the current voice
    this.held = new Map();    // key -> slot of a note held down
    this.sounding = new Map(); // id -> slot, until its sound ends
    this.pedalDown = false;
    this.pedalled = new Set(); // slots let go while the pedal is down
    this.nextId = 1;
    this.latencies = [];      // ms from each press to its first sample made
  }

  // A new voice: notes rendered for the old one are of no use.
  forget() { this.cache.clear(); }

  context() {
    if (!this.audio) {
      this.audio = new AudioContext({ latencyHint: "interactive" });
      this.output = this.audio.createAnalyser();
      this.output.fftSize = 1024;
      this.output.connect(this.audio.destination);
    }
    return this.audio;
  }

  // The loudest sample going out just now (0 when silent).
  level() {
    if (!this.output) return 0;
    const samples = new Float32Array(this.output.fftSize);
    this.output.getFloatTimeDomainData(samples);
    return samples.reduce((top, x) => Math.max(top, Math.abs(x)), 0);
  }

  // Loads the synthesis ahead of the first note, which would otherwise wait
  // for it. The context stays suspended until a key or the play button.
  prepare() {
    const context = this.context();
    if (context.audioWorklet && !this.worklet) {
      this.worklet = context.audioWorklet.addModule("synth-worklet.js").then(() => {
        this.node = new AudioWorkletNode(context, "hvx-voice", { numberOfInputs: 0, outputChannelCount: [1] });
        this.node.port.onmessage = (event) => this.heard(event.data);
        this.node.connect(this.output);
      });
      this.worklet.catch(() => { this.worklet = null; });
    }
    return this.worklet;
  }

  // The voice the next notes play, sent ahead so that a key sends only a note.
  useVoice(voice) {
    if (voice === this.voiceSent || !this.node) return;
    const bound = amplitudeBound(voice);
    this.voiceGain = bound > 0 ? 0.89 / bound : 1;
    this.node.port.postMessage({ type: "voice", voice });
    this.voiceSent = voice;
  }

  heard(message) {
    const slot = this.sounding.get(message.id);
    if (!slot) return;
    if (message.type === "started") {
      this.latencies.push(performance.now() - slot.pressed);
      document.body.dataset.noteLatency = this.latencies[this.latencies.length - 1].toFixed(2);
    } else if (message.type === "ended") {
      this.ended(slot);
    }
  }

  ended(slot) {
    if (this.sounding.delete(slot.id)) this.changed();
  }

  changed() {
    this.onChange(Array.from(this.sounding.values(), ({ note, frequency, velocity }) => ({ note, frequency, velocity })));
  }

  // Starts `note` for `key` (a key, a mouse, a MIDI note) at `velocity`
  // (1..127); `pressed` is the event's time, for the latency figure.
  async start(key, note, velocity = 127, pressed = performance.now()) {
    const frequency = noteFrequency(note);
    if (!frequency) throw new Error("not a note: " + note);
    if (this.held.has(key)) this.stop(key);
    const context = this.context();
    if (context.state === "suspended") context.resume();  // the port keeps the note meanwhile
    const slot = { id: this.nextId++, key, note, frequency, velocity, pressed, released: false };
    this.held.set(key, slot);
    if (!context.audioWorklet) return this.startRendered(context, slot);
    if (!this.node) await this.prepare();
    if (!this.voiceSent) this.useVoice(await this.fetchVoice());
    if (slot.cancelled) return;
    this.sounding.set(slot.id, slot);
    slot.level = this.voiceGain * velocity / 127;
    this.node.port.postMessage({ type: "on", id: slot.id, frequency, gain: slot.level });
    if (slot.released) this.node.port.postMessage({ type: "off", id: slot.id });
    this.changed();
  }

  async startRendered(context, slot) {
    const buffer = await this.buffer(slot.note);
    if (slot.released || slot.cancelled) return;
    this.sounding.set(slot.id, slot);
    slot.gain = context.createGain();
    slot.gain.gain.value = slot.velocity / 127;
    slot.gain.connect(this.output);
    slot.source = context.createBufferSource();
    slot.source.buffer = buffer;
    slot.source.connect(slot.gain);
    slot.source.onended = () => this.ended(slot);
    slot.source.start();
    this.changed();
  }

  async buffer(note) {
    if (!this.cache.has(note)) {
      const pending = this.fetchNote(note).then((bytes) => this.context().decodeAudioData(bytes));
      this.cache.set(note, pending);
      pending.catch(() => this.cache.delete(note));
    }
    return this.cache.get(note);
  }

  // The key let go: the release plays, unless the pedal holds the note.
  stop(key) {
    const slot = this.held.get(key);
    if (!slot) return;
    this.held.delete(key);
    if (this.pedalDown) this.pedalled.add(slot);
    else this.release(slot);
  }

  release(slot) {
    slot.released = true;
    if (this.node && this.sounding.has(slot.id)) this.node.port.postMessage({ type: "off", id: slot.id });
    if (slot.source) {
      const now = this.context().currentTime;
      slot.gain.gain.setValueAtTime(slot.gain.gain.value, now);
      slot.gain.gain.linearRampToValueAtTime(0, now + 0.05);
      slot.source.stop(now + 0.06);
    }
  }

  // The sustain pedal: down, notes let go keep sounding; up, they are released.
  pedal(down) {
    this.pedalDown = down;
    if (down) return;
    for (const slot of this.pedalled) this.release(slot);
    this.pedalled.clear();
  }

  // Silence at once: every note, held, pedalled or releasing.
  stopAll() {
    for (const slot of this.held.values()) slot.cancelled = true;  // perhaps still on their way
    this.held.clear();
    this.pedalled.clear();
    if (this.node) this.node.port.postMessage({ type: "stop" });
    for (const slot of this.sounding.values()) {
      slot.released = true;
      if (slot.source) slot.source.stop();
    }
    this.sounding.clear();
    this.changed();
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
        this.start(key, note, 127, e.timeStamp).catch(() => {});
      }
    });
    target.addEventListener("keyup", (e) => this.stop(e.key.toLowerCase()));
  }
}
