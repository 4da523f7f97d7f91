#pragma once

// Writes the help text to standard error and exits with status 1.
[[noreturn]] void printHelp();

// Writes the short usage and the exit code to standard error and exits with
// that code, unchanged.
[[noreturn]] void printUsageAndExit(int code);

class Converter;

// The whole run: options, then every picture in command-line order. Returns
// only when every file argument has been handled, with status 0; command-line
// faults end the process from inside.
int runConverter(Converter& converter, int argc, const char* const* argv);
