#pragma once

// How tonepix meets signals: an interruption (SIGINT, SIGTERM, SIGHUP) removes
// the voice file being written and then ends the process as the signal would;
// a file-size limit (SIGXFSZ) fails the write like a full disk; a closed
// standard output (SIGPIPE) loses summary lines, never voice files.
void installSignalHandling();
