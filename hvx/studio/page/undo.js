// Undo and redo for the editor: whole grids, at most `limit` steps back.
export class History {
  constructor(limit) {
    this.limit = limit;
    this.past = [];
    this.future = [];
  }

  // Call before an edit with the grid as it was.
  record(grid) {
    this.past.push(grid);
    if (this.past.length > this.limit) this.past.shift();
    this.future = [];
  }

  // The grid to go back to from `current`, or null.
  undo(current) {
    if (this.past.length === 0) return null;
    this.future.push(current);
    return this.past.pop();
  }

  redo(current) {
    if (this.future.length === 0) return null;
    this.past.push(current);
    return this.future.pop();
  }
}
