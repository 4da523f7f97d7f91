// A spectrogram of the preview: time to the right, frequency up, darker
// quiet, brighter loud, with axes in seconds and Hz. The browser's own
// analyser does the transform, run over the decoded preview offline at the
// preview's own sample rate, so that the frequency axis ends at its Nyquist.
const kColumns = 240;
const kFftSize = 2048;
const kPlotHeight = 160;
const kLeft = 46, kRight = 8, kTop = 8, kBottom = 18;

// The sample rate in a WAV file's format chunk, or 0.
export function wavSampleRate(bytes) {
  const view = new DataView(bytes);
  if (view.byteLength < 12 || String.fromCharCode(...new Uint8Array(bytes, 8, 4)) !== "WAVE") return 0;
  for (let at = 12; at + 8 <= view.byteLength;) {
    const size = view.getUint32(at + 4, true);
    if (String.fromCharCode(...new Uint8Array(bytes, at, 4)) === "fmt " && size >= 8 && at + 16 <= view.byteLength) {
      return view.getUint32(at + 12, true);
    }
    at += 8 + size + (size & 1);
  }
  return 0;
}

// Round steps for an axis from 0 to `top`: at most about five.
function ticks(top) {
  const rough = top / 5;
  const power = Math.pow(10, Math.floor(Math.log10(rough)));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= rough);
  const marks = [];
  for (let i = 0; i * step <= top * (1 + 1e-9); ++i) marks.push(Number((i * step).toPrecision(6)));
  return marks;
}

function hertzText(hz) {
  return hz >= 1000 ? (hz / 1000).toFixed(hz % 1000 ? 1 : 0) + " kHz" : Math.round(hz) + " Hz";
}

function drawAxes(context, width, seconds, nyquist) {
  context.fillStyle = "#9aa0aa";
  context.strokeStyle = "#9aa0aa";
  context.font = "10px sans-serif";
  context.textAlign = "right";
  context.textBaseline = "middle";
  const bottom = kTop + kPlotHeight;
  for (const hz of ticks(nyquist)) {
    const y = bottom - hz / nyquist * kPlotHeight;
    context.fillRect(kLeft - 4, Math.round(y), 4, 1);
    context.fillText(hertzText(hz), kLeft - 6, Math.min(bottom - 4, Math.max(kTop + 4, y)));
  }
  context.textAlign = "center";
  context.textBaseline = "top";
  for (const second of ticks(seconds)) {
    const x = kLeft + second / seconds * width;
    context.fillRect(Math.round(x), bottom, 1, 4);
    context.fillText(second + " s", Math.min(kLeft + width - 8, x), bottom + 5);
  }
}

// `wanted()` is asked along the way: once it says no, the rest is skipped
// (an edit has come, and its own preview will be drawn).
export async function drawSpectrogram(canvas, bytes, wanted) {
  const rate = wavSampleRate(bytes) || 48000;
  const decoded = await new OfflineAudioContext(1, 1, rate).decodeAudioData(bytes);
  if (!wanted()) return 0;
  const offline = new OfflineAudioContext(1, decoded.length, rate);
  const source = offline.createBufferSource();
  source.buffer = decoded;
  const analyser = offline.createAnalyser();
  analyser.fftSize = kFftSize;
  analyser.smoothingTimeConstant = 0;
  source.connect(analyser);
  analyser.connect(offline.destination);
  const bins = analyser.frequencyBinCount;
  const columns = [];
  // Suspensions fall on whole render quanta of 128 frames.
  const quantum = 128;
  const step = Math.max(quantum, Math.floor(decoded.length / kColumns / quantum) * quantum);
  for (let frame = step; frame < decoded.length; frame += step) {
    offline.suspend(frame / rate).then(() => {
      if (wanted()) {
        const data = new Float32Array(bins);
        analyser.getFloatFrequencyData(data);
        columns.push(data);
      }
      offline.resume();
    });
  }
  source.start();
  await offline.startRendering();
  if (!wanted()) return 0;
  const context = canvas.getContext("2d");
  const width = Math.max(1, columns.length);
  canvas.width = kLeft + width + kRight;
  canvas.height = kTop + kPlotHeight + kBottom;
  context.fillStyle = "#000";
  context.fillRect(0, 0, canvas.width, canvas.height);
  const image = context.createImageData(width, kPlotHeight);
  columns.forEach((data, x) => {
    for (let y = 0; y < kPlotHeight; ++y) {
      const bin = Math.floor((kPlotHeight - 1 - y) * bins / kPlotHeight);
      const level = Math.max(0, Math.min(255, (data[bin] + 110) * 255 / 90));
      const at = 4 * (y * width + x);
      image.data[at] = level * 0.55;
      image.data[at + 1] = level;
      image.data[at + 2] = level * 0.75;
      image.data[at + 3] = 255;
    }
  });
  context.putImageData(image, kLeft, kTop);
  const seconds = decoded.length / rate;
  drawAxes(context, width, seconds, rate / 2);
  canvas.dataset.columns = String(columns.length);
  canvas.dataset.topHz = String(rate / 2);
  canvas.dataset.seconds = seconds.toFixed(3);
  return columns.length;
}
