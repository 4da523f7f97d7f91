#include "hvx/files/shell_word.h"

std::string shellWord(const std::string& word) {
  const std::string safe = !word.empty() && word[0] == '-' ? "./" + word : word;
  const bool plain = !safe.empty() && safe.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789-_./+,:=@%") == std::string::npos;
  if (plain) {
    return safe;
  }
  std::string quoted = "'";
  for (const char c : safe) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}
