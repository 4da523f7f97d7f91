// Presets and grid operations as pure functions. A grid is
// { rows, harmonics, levels }: levels[p * harmonics + h] is the level (0-255)
// of harmonic h + 1 at envelope point p, point 0 sounding first. Every
// function returns a new grid and leaves its argument alone.

export function makeGrid(rows, harmonics, levels) {
  return { rows, harmonics, levels: levels || new Uint8Array(rows * harmonics) };
}

export function copyGrid(grid) {
  return makeGrid(grid.rows, grid.harmonics, Uint8Array.from(grid.levels));
}

function clampLevel(value) {
  return Math.max(0, Math.min(255, Math.round(value)));
}

function mapCells(grid, level) {
  const out = makeGrid(grid.rows, grid.harmonics);
  for (let p = 0; p < grid.rows; ++p) {
    for (let h = 0; h < grid.harmonics; ++h) {
      out.levels[p * grid.harmonics + h] = clampLevel(level(p, h, grid.levels[p * grid.harmonics + h]));
    }
  }
  return out;
}

// Relative loudness of harmonic number n (1-based) in each preset's spectrum.
const spectra = {
  saw: (n) => 1 / n,
  square: (n) => (n % 2 === 1 ? 1 / n : 0),
  triangle: (n) => (n % 2 === 1 ? 1 / (n * n) : 0),
  // Drawbars at the harmonics a tonewheel stop sounds: fundamental, octave,
  // twelfth, fifteenth, seventeenth, nineteenth and twenty-second.
  organ: (n) => ({ 1: 1, 2: 1, 3: 0.75, 4: 0.75, 5: 0.5, 6: 0.5, 8: 0.5 })[n] || 0,
  bell: (n) => 1 / Math.sqrt(n),
};
export const presetNames = Object.keys(spectra);

// A preset's spectrum, the same at every point; the bell's upper harmonics
// die away faster than its lower ones, e^(-n t / 4) over the rows.
export function preset(name, rows, harmonics) {
  const spectrum = spectra[name];
  if (!spectrum) throw new Error("no preset named " + name);
  const decays = name === "bell";
  return mapCells(makeGrid(rows, harmonics), (p, h) => {
    const time = rows > 1 ? p / (rows - 1) : 0;
    return 255 * spectrum(h + 1) * (decays ? Math.exp(-(h + 1) * time / 4) : 1);
  });
}

// The row tonepix's sustain loop starts at (counted from 0): a held note
// goes round from there to the last row, and tonepix adds its own release
// (one interval to silence) after it.
export function loopRow(rows) {
  return Math.floor(rows / 4) + 1;
}

// The shape over the rows: a rise over `attack` rows and a fall to `sustain`
// (0-1) over `decay` rows, both below the loop line (squeezed in proportion
// when they do not fit there), then `sustain` held from the loop line to the
// last row, so that the loop goes round at one level. Every level is scaled
// by it.
export function adsrGain(p, rows, shape) {
  const { sustain } = shape;
  const room = Math.min(loopRow(rows), rows);
  let { attack, decay } = shape;
  if (attack + decay > room) {
    attack = Math.round(attack * room / (attack + decay));
    decay = room - attack;
  }
  if (p < attack) return (p + 1) / (attack + 1);
  if (p < attack + decay) return 1 - (1 - sustain) * (p - attack + 1) / decay;
  return sustain;
}

export function applyAdsr(grid, shape) {
  return mapCells(grid, (p, h, level) => level * adsrGain(p, grid.rows, shape));
}

// Harmonic h takes the level harmonic h - by had; what falls off either side
// is gone, what comes in is silent.
export function shiftHarmonics(grid, by) {
  return mapCells(grid, (p, h) => {
    const from = h - by;
    return from >= 0 && from < grid.harmonics ? grid.levels[p * grid.harmonics + from] : 0;
  });
}

// Keeps the odd (1, 3, 5 ...) or even harmonics, silences the others.
export function keepHarmonics(grid, odd) {
  return mapCells(grid, (p, h, level) => (((h + 1) % 2 === 1) === odd ? level : 0));
}

// A 3 x 3 blur (1 2 1 across harmonics, 1 2 1 across time), the edges
// repeating their cells.
export function soften(grid) {
  const at = (p, h) => {
    const row = Math.max(0, Math.min(grid.rows - 1, p));
    const column = Math.max(0, Math.min(grid.harmonics - 1, h));
    return grid.levels[row * grid.harmonics + column];
  };
  const weights = [1, 2, 1];
  return mapCells(grid, (p, h) => {
    let sum = 0;
    for (let dp = -1; dp <= 1; ++dp) {
      for (let dh = -1; dh <= 1; ++dh) sum += weights[dp + 1] * weights[dh + 1] * at(p + dp, h + dh);
    }
    return sum / 16;
  });
}

export function invert(grid) {
  return mapCells(grid, (p, h, level) => 255 - level);
}

// Scales every level so that the loudest cell is 255; a silent grid stays.
export function normalise(grid) {
  const loudest = grid.levels.reduce((a, b) => Math.max(a, b), 0);
  return loudest === 0 ? copyGrid(grid) : mapCells(grid, (p, h, level) => level * 255 / loudest);
}

export function reverseTime(grid) {
  return mapCells(grid, (p, h) => grid.levels[(grid.rows - 1 - p) * grid.harmonics + h]);
}

// The same envelope over `rows` rows, each new row taking the old row at the
// same fraction of the time.
export function stretchTime(grid, rows) {
  const out = makeGrid(rows, grid.harmonics);
  for (let p = 0; p < rows; ++p) {
    const from = Math.min(grid.rows - 1, Math.floor(p * grid.rows / rows));
    out.levels.set(grid.levels.subarray(from * grid.harmonics, (from + 1) * grid.harmonics), p * grid.harmonics);
  }
  return out;
}

// The drawing tools' cell writes, for the editor and for tests alike.
export function fillRow(grid, p, level) {
  return mapCells(grid, (q, h, old) => (q === p ? level : old));
}

export function fillHarmonic(grid, h, level) {
  return mapCells(grid, (p, k, old) => (k === h ? level : old));
}

// Cells an n x n brush covers when centred on (p, h), inside the grid.
export function brushCells(grid, p, h, size) {
  const cells = [];
  const low = -Math.floor((size - 1) / 2);
  for (let dp = low; dp < low + size; ++dp) {
    for (let dh = low; dh < low + size; ++dh) {
      const q = p + dp, k = h + dh;
      if (q >= 0 && q < grid.rows && k >= 0 && k < grid.harmonics) cells.push([q, k]);
    }
  }
  return cells;
}

// Cells on the straight line from (p0, h0) to (p1, h1), both ends included.
export function lineCells(p0, h0, p1, h1) {
  const cells = [];
  const steps = Math.max(Math.abs(p1 - p0), Math.abs(h1 - h0));
  for (let i = 0; i <= steps; ++i) {
    const t = steps === 0 ? 0 : i / steps;
    cells.push([Math.round(p0 + (p1 - p0) * t), Math.round(h0 + (h1 - h0) * t)]);
  }
  return cells;
}
