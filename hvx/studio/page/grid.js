// The drawing surface: the grid as cells on a canvas, point 0 at the bottom
// and harmonic 1 on the left (the prepared bitmap as a picture), and the
// tools that write into it: brush, line, eraser, fill a row or a harmonic,
// and for an opened voice the loop's start and end rows.
import { brushCells, copyGrid, fillHarmonic, fillRow, lineCells } from "./operations.js";

const kHeight = 384;  // canvas pixels for the rows, whatever their number

export class GridEditor {
  // `onStroke(before)` is called when a stroke begins, with the grid as it
  // was; `onChange()` once it ends; `onLoop("start" or "end", row)` when a
  // loop tool picks a row.
  constructor(canvas, { onStroke, onChange, onLoop }) {
    this.canvas = canvas;
    this.onStroke = onStroke;
    this.onChange = onChange;
    this.onLoop = onLoop;
    this.loopStart = -1;
    this.loopEnd = -1;
    this.voiceLoop = false;  // the loop is an opened voice's: both rows shown
    this.grid = null;
    this.rowsHeard = Infinity;  // rows from here on are not heard (the server's fact)
    this.tool = "brush";
    this.level = 255;
    this.size = 1;
    this.stroke = null;
    canvas.addEventListener("pointerdown", (e) => this.down(e));
    canvas.addEventListener("pointermove", (e) => this.move(e));
    canvas.addEventListener("pointerup", (e) => this.up(e));
    canvas.addEventListener("pointercancel", (e) => this.up(e));
  }

  setGrid(grid) {
    this.grid = grid;
    const cellWidth = 8;
    this.cellWidth = cellWidth;
    this.cellHeight = Math.max(2, Math.floor(kHeight / grid.rows));
    // Setting a canvas's size clears and reallocates it, even to the same size.
    if (this.canvas.width !== grid.harmonics * cellWidth) this.canvas.width = grid.harmonics * cellWidth;
    if (this.canvas.height !== grid.rows * this.cellHeight) this.canvas.height = grid.rows * this.cellHeight;
    this.canvas.dataset.rows = String(grid.rows);
    this.draw();
  }

  // The cell under a pointer event: [point, harmonic index].
  cellAt(event) {
    const box = this.canvas.getBoundingClientRect();
    const x = (event.clientX - box.left) * this.canvas.width / box.width;
    const y = (event.clientY - box.top) * this.canvas.height / box.height;
    const h = Math.max(0, Math.min(this.grid.harmonics - 1, Math.floor(x / this.cellWidth)));
    const fromTop = Math.max(0, Math.min(this.grid.rows - 1, Math.floor(y / this.cellHeight)));
    return [this.grid.rows - 1 - fromTop, h];
  }

  paint(cells) {
    const level = this.tool === "eraser" ? 0 : this.level;
    for (const [p, h] of cells) {
      for (const [q, k] of brushCells(this.grid, p, h, this.size)) this.grid.levels[q * this.grid.harmonics + k] = level;
    }
  }

  down(event) {
    if (!this.grid || event.button !== 0) return;
    this.canvas.setPointerCapture(event.pointerId);
    const [p, h] = this.cellAt(event);
    if (this.tool === "loop-start" || this.tool === "loop-end") {
      this.onLoop(this.tool === "loop-start" ? "start" : "end", p);
      return;
    }
    this.stroke = { start: [p, h], last: [p, h], before: copyGrid(this.grid) };
    this.onStroke(this.stroke.before);
    if (this.tool === "row") this.grid = fillRow(this.grid, p, this.level);
    else if (this.tool === "harmonic") this.grid = fillHarmonic(this.grid, h, this.level);
    else if (this.tool !== "line") this.paint([[p, h]]);
    this.draw();
  }

  move(event) {
    if (!this.stroke) return;
    const [p, h] = this.cellAt(event);
    if (this.tool === "brush" || this.tool === "eraser") {
      this.paint(lineCells(this.stroke.last[0], this.stroke.last[1], p, h));
      this.stroke.last = [p, h];
      this.draw();
    } else if (this.tool === "line") {
      this.grid = copyGrid(this.stroke.before);
      this.paint(lineCells(this.stroke.start[0], this.stroke.start[1], p, h));
      this.draw();
    }
  }

  up(event) {
    if (!this.stroke) return;
    this.move(event);
    this.stroke = null;
    this.onChange();
  }

  // One pixel a cell, then scaled up without smoothing: an edit redraws at once.
  draw() {
    const { rows, harmonics, levels } = this.grid;
    if (!this.cells || this.cells.width !== harmonics || this.cells.height !== rows) {
      this.cells = document.createElement("canvas");
      this.cells.width = harmonics;
      this.cells.height = rows;
    }
    const small = this.cells.getContext("2d");
    const image = small.createImageData(harmonics, rows);
    for (let p = 0; p < rows; ++p) {
      const unheard = p >= this.rowsHeard;
      for (let h = 0; h < harmonics; ++h) {
        const level = levels[p * harmonics + h];
        const at = 4 * ((rows - 1 - p) * harmonics + h);
        image.data[at] = unheard ? 90 + level * 0.4 : level;
        image.data[at + 1] = image.data[at + 2] = unheard ? level * 0.4 : level;
        image.data[at + 3] = 255;
      }
    }
    small.putImageData(image, 0, 0);
    const context = this.canvas.getContext("2d");
    context.imageSmoothingEnabled = false;
    context.drawImage(this.cells, 0, 0, harmonics * this.cellWidth, rows * this.cellHeight);
    if (this.voiceLoop) {
      this.drawLoopRows(context);
      return;
    }
    // The sustain loop of the voice on show starts at the row above this line.
    if (this.loopStart > 0 && this.loopStart < rows) {
      context.fillStyle = "#f2a65a";
      context.fillRect(0, (rows - this.loopStart) * this.cellHeight - 1, harmonics * this.cellWidth, 2);
      context.font = "11px sans-serif";
      context.textAlign = "right";
      context.textBaseline = "bottom";
      context.fillText("loop ↑", harmonics * this.cellWidth - 3, (rows - this.loopStart) * this.cellHeight - 3);
    }
  }

  // An opened voice's loop runs from the point of one row to that of
  // another: both rows are outlined and named.
  drawLoopRows(context) {
    const { rows, harmonics } = this.grid;
    const width = harmonics * this.cellWidth;
    context.strokeStyle = context.fillStyle = "#f2a65a";
    context.lineWidth = 2;
    context.font = "11px sans-serif";
    context.textAlign = "right";
    for (const [row, name] of [[this.loopStart, "loop start"], [this.loopEnd, "loop end"]]) {
      if (row < 0 || row >= rows) continue;
      const top = (rows - 1 - row) * this.cellHeight;
      context.strokeRect(1, top + 1, width - 2, Math.max(1, this.cellHeight - 2));
      context.textBaseline = row === this.loopEnd ? "bottom" : "top";
      context.fillText(name, width - 3, row === this.loopEnd ? top - 1 : top + this.cellHeight + 1);
    }
  }
}
