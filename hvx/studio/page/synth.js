// The voice played in the page, sample for sample as `hvx render` plays it
// (hvx/audio: playback_plan, envelope_sampler, oscillator_bank,
// voice_render): every harmonic a sine at the base frequency times its
// frequency envelope, its amplitude read by straight lines between
// breakpoints in blocks of 128 samples, single-precision oscillators turned
// by a fixed rotation per sample. The release comes at `hold` seconds after
// the loop end (`hvx render --hold`), at `gate` seconds from the start
// (`hvx render --gate`), or when release() is called: the key let go, which
// releases at once from wherever the voice stands, as --gate does. The voice
// is the studio's /api/voice JSON.
const f32 = Math.fround;
const kTwoPi = 6.283185307179586476925286766559;
const kBlockSamples = 128;
const kLanes = 8;

class EnvelopeSampler {
  constructor(envelope, valueWhenEmpty) {
    this.times = envelope.times.map(f32);
    this.values = envelope.values.map(f32);
    this.empty = valueWhenEmpty;
    this.segment = 0;
    this.joinEnd = 0;  // none: no time is negative
  }

  // From `time` on, a straight line from `value` to the next breakpoint
  // after `time` (or the last value at `until`), then on as written.
  joinFrom(time, value, until) {
    const { times, values } = this;
    let next = 0;
    while (next < times.length && !(time < times[next])) ++next;
    this.joinStart = time;
    this.joinValue = value;
    if (next < times.length) {
      this.joinEnd = times[next];
      this.joinTarget = values[next];
    } else {
      this.joinEnd = until;
      this.joinTarget = times.length > 0 ? values[times.length - 1] : this.empty;
    }
    if (!(this.joinEnd > this.joinStart)) this.joinEnd = 0;
  }

  valueAt(time) {
    if (time < this.joinEnd) {
      const along = Math.max(0, time - this.joinStart) / (this.joinEnd - this.joinStart);
      return this.joinValue + (this.joinTarget - this.joinValue) * along;
    }
    const { times, values } = this;
    const count = times.length;
    if (count <= 0) return this.empty;
    if (time <= times[0]) {
      this.segment = 0;
      return values[0];
    }
    if (time >= times[count - 1]) return values[count - 1];
    if (this.segment >= count || times[this.segment] > time) this.segment = 0;
    while (times[this.segment + 1] <= time) ++this.segment;
    const t0 = times[this.segment], t1 = times[this.segment + 1];
    const v0 = values[this.segment], v1 = values[this.segment + 1];
    return v0 + (v1 - v0) * ((time - t0) / (t1 - t0));
  }
}

class OscillatorBank {
  constructor(count) {
    this.lanes = Math.ceil(count / kLanes) * kLanes;
    const n = this.lanes;
    this.cos = new Float32Array(n).fill(1);
    this.sin = new Float32Array(n);
    this.stepCos = new Float32Array(n).fill(1);
    this.stepSin = new Float32Array(n);
    this.amplitude = new Float32Array(n);
    this.amplitudeStep = new Float32Array(n);
    this.radians = new Float64Array(n);
  }

  setFrequency(i, radians) {
    if (radians !== this.radians[i]) {
      this.radians[i] = radians;
      this.stepCos[i] = Math.cos(radians);
      this.stepSin[i] = Math.sin(radians);
    }
    const c = this.cos[i], s = this.sin[i];
    const magnitude = Math.sqrt(c * c + s * s);
    this.cos[i] = c / magnitude;
    this.sin[i] = s / magnitude;
  }

  setAmplitudeRamp(i, start, end, samples) {
    this.amplitude[i] = start;
    this.amplitudeStep[i] = (end - start) / samples;
  }

  silence(i) {
    this.amplitude[i] = 0;
    this.amplitudeStep[i] = 0;
  }

  run(out, offset, samples) {
    const { cos, sin, stepCos, stepSin, amplitude, amplitudeStep, lanes } = this;
    const lane = new Float32Array(kLanes);
    for (let n = 0; n < samples; ++n) {
      lane.fill(0);
      for (let base = 0; base < lanes; base += kLanes) {
        for (let j = 0; j < kLanes; ++j) {
          const i = base + j;
          const c = cos[i], s = sin[i];
          lane[j] = lane[j] + f32(amplitude[i] * s);
          cos[i] = f32(c * stepCos[i]) - f32(s * stepSin[i]);
          sin[i] = f32(c * stepSin[i]) + f32(s * stepCos[i]);
          amplitude[i] = amplitude[i] + amplitudeStep[i];
        }
      }
      let sum = 0;
      for (let j = 0; j < kLanes; ++j) sum = f32(sum + lane[j]);
      out[offset + n] = sum;
    }
  }
}

// The voice's own base frequency: that of its first set.
export function voiceBaseFrequency(voice) {
  return voice.sets.length > 0 ? f32(voice.sets[0].baseFrequency) : 440;
}

// A bound on the voice's loudest moment: the sum of its amplitudes at the
// breakpoint where that sum is largest. The page plays at `peak` / bound,
// never louder than a normalised preview.
export function amplitudeBound(voice) {
  const sums = new Map();
  for (const set of voice.sets) {
    for (const { amplitude } of set.harmonics) {
      amplitude.times.forEach((time, k) => sums.set(time, (sums.get(time) || 0) + amplitude.values[k]));
    }
  }
  return Math.max(0, ...sums.values());
}

export class VoicePlayer {
  // `frequency` 0 keeps the voice's own; `hold` and `gate` null wait for
  // release().
  constructor(voice, { frequency = 0, hold = null, gate = null, sampleRate = 48000, gain = 1 }) {
    const base = voiceBaseFrequency(voice);
    const transpose = frequency > 0 && base > 0 ? frequency / base : 1;
    this.partials = [];
    let end = f32(voice.loopEnd);
    for (const set of voice.sets) {
      set.harmonics.forEach(({ amplitude, frequency: ratio }, h) => {
        for (const envelope of [amplitude, ratio]) {
          if (envelope.times.length > 0) end = Math.max(end, f32(envelope.times[envelope.times.length - 1]));
        }
        if (amplitude.values.some((value) => value > 0)) {
          this.partials.push({ amplitude: new EnvelopeSampler(amplitude, 0), ratio: new EnvelopeSampler(ratio, h + 1),
                               hertzPerRatio: f32(set.baseFrequency) * transpose });
        }
      });
    }
    this.loopEnd = f32(voice.loopEnd);
    this.loopStart = Math.min(f32(voice.loopStart), this.loopEnd);
    this.end = end;
    this.rate = sampleRate;
    this.gain = gain;
    // Output seconds where the release starts; null until the key is let go.
    this.keyUp = hold !== null ? this.loopEnd + hold : gate;
    this.holdEndsAt = null;  // envelope time where the key was let go
    this.bank = new OscillatorBank(this.partials.length);
    this.phase = "attack";
    this.pass = 0;
    this.span = null;
    this.next = 0;  // the next sample of the span to render
    this.buffer = new Float32Array(kBlockSamples);
    this.buffered = 0;
    this.read = 0;
    this.produced = 0;  // samples handed out
    this.rendered = 0;  // samples made, some perhaps not yet handed out
  }

  // Samples in the whole sound, once the release time is known.
  total() {
    return this.keyUp === null ? Infinity : Math.round((this.keyUp + this.end - this.loopEnd) * this.rate);
  }

  // The key let go: the release starts with the next sample not yet made.
  release() {
    if (this.keyUp === null) this.keyUp = this.rendered / this.rate;
  }

  // The span after the current one, as forEachSpan walks them; null at the end.
  nextSpan() {
    const loopLength = this.loopEnd - this.loopStart;
    const keyUp = this.keyUp === null ? Infinity : this.keyUp;
    if (this.phase === "attack") {
      this.phase = "hold";
      return { outputStart: 0, outputEnd: Math.min(this.loopEnd, keyUp), envelopeStart: 0, rate: 1, attack: true };
    }
    if (this.phase === "hold") {
      if (keyUp > this.loopEnd) {
        if (loopLength * this.rate < 1) {
          if (this.pass++ === 0) {
            return { outputStart: this.loopEnd, outputEnd: keyUp, envelopeStart: this.loopEnd, rate: 0, held: true };
          }
        } else {
          const start = this.loopEnd + this.pass * loopLength;
          if (start < keyUp) {
            const next = this.loopEnd + (++this.pass) * loopLength;
            return { outputStart: start, outputEnd: Math.min(next, keyUp), envelopeStart: this.loopStart, rate: 1, loop: next };
          }
        }
      }
      this.phase = "release";
      return { outputStart: keyUp, outputEnd: keyUp + this.end - this.loopEnd, envelopeStart: this.loopEnd, rate: 1,
               joinFrom: this.holdEndsAt === null ? Math.min(this.loopEnd, keyUp) : this.holdEndsAt };
    }
    return null;
  }

  // Renders the next block into the buffer; false when the sound is over.
  renderBlock() {
    for (;;) {
      if (this.span === null) {
        this.span = this.nextSpan();
        if (this.span === null) return false;
        this.next = Math.max(0, Math.round(this.span.outputStart * this.rate));
      }
      const span = this.span;
      // A release that came while this span ran ends it there.
      if (this.keyUp !== null && (span.held || span.loop || span.attack)) {
        span.outputEnd = Math.min(span.held ? Infinity : span.loop || span.outputEnd, this.keyUp);
      }
      if (span.joinFrom !== undefined && !span.joined) {
        span.joined = true;
        for (const partial of this.partials) {
          partial.amplitude.joinFrom(span.envelopeStart, partial.amplitude.valueAt(span.joinFrom), this.end);
          partial.ratio.joinFrom(span.envelopeStart, partial.ratio.valueAt(span.joinFrom), this.end);
        }
      }
      const end = Math.min(this.total(), Math.round(span.outputEnd * this.rate));
      if (this.next >= end) {
        // Where the envelopes stand when the key is let go.
        if (span.joinFrom === undefined && span.rate > 0) {
          this.holdEndsAt = span.envelopeStart + span.rate * (span.outputEnd - span.outputStart);
        }
        this.span = null;
        continue;
      }
      const count = Math.min(kBlockSamples, end - this.next);
      const at = (sample) => span.envelopeStart + span.rate * (sample / this.rate - span.outputStart);
      this.prepareBlock(at(this.next), at(this.next + count), count);
      this.bank.run(this.buffer, 0, count);
      this.buffered = count;
      this.read = 0;
      this.next += count;
      this.rendered = this.next;
      return true;
    }
  }

  prepareBlock(startTime, endTime, count) {
    const nyquist = this.rate / 2;
    const middle = (startTime + endTime) / 2;
    this.partials.forEach((partial, i) => {
      const hertz = partial.ratio.valueAt(middle) * partial.hertzPerRatio;
      if (!(hertz > 0 && hertz < nyquist)) {
        this.bank.silence(i);
        return;
      }
      this.bank.setFrequency(i, kTwoPi * hertz / this.rate);
      this.bank.setAmplitudeRamp(i, partial.amplitude.valueAt(startTime), partial.amplitude.valueAt(endTime), count);
    });
  }

  // Fills `out`; the number of samples written, short only at the end.
  fill(out) {
    let written = 0;
    while (written < out.length) {
      if (this.read === this.buffered && !this.renderBlock()) break;
      const n = Math.min(out.length - written, this.buffered - this.read);
      for (let k = 0; k < n; ++k) out[written + k] = f32(this.buffer[this.read + k] * this.gain);
      this.read += n;
      written += n;
    }
    this.produced += written;
    return written;
  }
}
