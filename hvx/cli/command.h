#pragma once

#include <CLI/CLI.hpp>
#include <cmath>
#include <functional>
#include <string>

// Exit statuses every subcommand keeps to.
constexpr int kExitOk = 0;
constexpr int kExitProblem = 1;  // a file was refused, invalid or not written
constexpr int kExitUsage = 2;    // the command line itself is wrong

// One subcommand: its CLI11 parser and what runs when the user picked it.
// Options are bound to storage that `run` owns, so the parser only fills it.
struct Subcommand {
  CLI::App* app;
  std::function<int()> run;
};

// One line on standard error: "hvx SUBCOMMAND: MESSAGE". User text is printed
// as data, never as a format, with control characters escaped.
void reportError(const std::string& subcommand, const std::string& message);

// CLI::Range for a number that must also be finite: "nan" passes every
// comparison, so a range alone lets it through. Described as the range is.
inline CLI::Validator finiteRange(double minimum, double maximum) {
  const CLI::Validator range = CLI::Range(minimum, maximum);
  return CLI::Validator(
      [range](std::string& text) {
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value)) {
          return "Value " + text + " is not a finite number";
        }
        return range(text);
      },
      range.get_description());
}
