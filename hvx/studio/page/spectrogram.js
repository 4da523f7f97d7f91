// A spectrogram of the preview: time to the right, frequency up, darker
// quiet, brighter loud. The browser's own analyser does the transform, run
// over the decoded preview offline, one column per step.
const kColumns = 240;
const kFftSize = 2048;

// `wanted()` is asked along the way: once it says no, the rest is skipped
// (an edit has come, and its own preview will be drawn).
export async function drawSpectrogram(canvas, bytes, wanted) {
  const decoded = await new OfflineAudioContext(1, 1, 48000).decodeAudioData(bytes);
  if (!wanted()) return 0;
  const rate = decoded.sampleRate;
  const offline = new OfflineAudioContext(1, decoded.length, rate);
  const source = offline.createBufferSource();
  source.buffer = decoded;
  const analyser = offline.createAnalyser();
  analyser.fftSize = kFftSize;
  analyser.smoothingTimeConstant = 0;
  source.connect(analyser);
  analyser.connect(offline.destination);
  const bins = analyser.frequencyBinCount;
  const rowsShown = canvas.height;
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
  canvas.width = Math.max(1, columns.length);
  const image = context.createImageData(canvas.width, rowsShown);
  columns.forEach((data, x) => {
    for (let y = 0; y < rowsShown; ++y) {
      const bin = Math.floor((rowsShown - 1 - y) * bins / rowsShown);
      const level = Math.max(0, Math.min(255, (data[bin] + 110) * 255 / 90));
      const at = 4 * (y * canvas.width + x);
      image.data[at] = level * 0.55;
      image.data[at + 1] = level;
      image.data[at + 2] = level * 0.75;
      image.data[at + 3] = 255;
    }
  });
  context.putImageData(image, 0, 0);
  canvas.dataset.columns = String(columns.length);
  return columns.length;
}
