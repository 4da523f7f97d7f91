// The audio thread's side of a held key: plays one VoicePlayer until it
// ends, and starts its release at once when the page says the key is up.
import { VoicePlayer } from "./synth.js";

class VoiceProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const { voice, frequency, hold, gate, gain } = options.processorOptions;
    this.player = new VoicePlayer(voice, { frequency, hold, gate, gain, sampleRate });
    this.port.onmessage = (event) => { if (event.data === "release") this.player.release(); };
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    const written = this.player.fill(out);
    out.fill(0, written);
    if (written < out.length) {
      this.port.postMessage("ended");
      return false;
    }
    return true;
  }
}

registerProcessor("hvx-voice", VoiceProcessor);
