// The audio thread's side of playing: one VoicePlayer per note, mixed.
// A node made with a voice in its options plays that one note until it
// ends (a key held; "release" lets it go). A node made without one is the
// page's instrument: it keeps the voice it was last sent and starts, lets go
// and stops notes on messages, so that a key costs a message, not a node.
import { VoicePlayer } from "./synth.js";

class VoiceProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const { voice, frequency, hold, gate, gain } = options.processorOptions || {};
    this.single = Boolean(voice);
    this.voice = null;
    this.notes = new Map();  // id -> { player, started }
    this.mix = new Float32Array(128);
    if (this.single) {
      this.notes.set(0, { player: new VoicePlayer(voice, { frequency, hold, gate, gain, sampleRate }), started: true });
    }
    this.port.onmessage = (event) => this.receive(event.data);
  }

  receive(message) {
    if (message === "release") {
      for (const note of this.notes.values()) note.player.release();
    } else if (message.type === "voice") {
      this.voice = message.voice;
    } else if (message.type === "on") {
      if (!this.voice) {
        this.port.postMessage({ type: "ended", id: message.id });
        return;
      }
      const player = new VoicePlayer(this.voice, { frequency: message.frequency, gain: message.gain, sampleRate });
      this.notes.set(message.id, { player, started: false });
    } else if (message.type === "off") {
      const note = this.notes.get(message.id);
      if (note) note.player.release();
    } else if (message.type === "stop") {
      for (const id of this.notes.keys()) this.port.postMessage({ type: "ended", id });
      this.notes.clear();
    }
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    out.fill(0);
    if (this.mix.length !== out.length) this.mix = new Float32Array(out.length);
    for (const [id, note] of this.notes) {
      const written = note.player.fill(this.mix);
      for (let k = 0; k < written; ++k) out[k] += this.mix[k];
      if (!note.started) {
        note.started = true;
        this.port.postMessage({ type: "started", id });
      }
      if (written < out.length) {
        this.notes.delete(id);
        this.port.postMessage(this.single ? "ended" : { type: "ended", id });
      }
    }
    return !this.single || this.notes.size > 0;
  }
}

registerProcessor("hvx-voice", VoiceProcessor);
