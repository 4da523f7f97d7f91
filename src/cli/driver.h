#pragma once

// Writes the help text to standard error and exits with status 1.
[[noreturn]] void printHelp();

// Writes the short usage and the exit code to standard error and exits with
// that code, unchanged.
[[noreturn]] void printUsageAndExit(int code);

class Converter;

// Converts every file argument from `first` on, in command-line order. A file
// that fails is reported on the Converter's log and the run goes on. Returns
// how many failed: not loaded, or their voice not written.
int convertFiles(Converter& converter, int first, int argc, const char* const* argv);

// The whole run: options, then every picture in command-line order. Returns
// only when every file argument has been handled, with status 0; command-line
// faults end the process from inside.
int runConverter(Converter& converter, int argc, const char* const* argv);
