#include "hvx/files/derived_output.h"

#include <filesystem>
#include <fstream>

#include "hvx/files/file_io.h"

namespace fs = std::filesystem;

std::string derivedOutputName(const std::string& source, const std::string& suffix) {
  fs::path path(source);
  path.replace_filename(path.stem().string() + suffix);
  return path.string();
}

bool startsWith(const std::string& path, const std::string& signature) {
  std::ifstream file(path, std::ios::binary);
  std::string head(signature.size(), '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  return file.gcount() == static_cast<std::streamsize>(head.size()) && head == signature;
}

bool mayWriteDerived(const std::string& path, const std::string& source, const MadeByHvx& madeByHvx,
                     bool force, std::string& error) {
  if (sameFile(path, source)) {
    error = path + " is the file it is made from; not written (name another output with -o)";
    return false;
  }
  std::error_code status;
  const fs::file_status kind = fs::symlink_status(path, status);
  if (status || !fs::exists(kind)) {
    return true;  // nothing there yet
  }
  // A link would carry the output to wherever it points, perhaps outside
  // this folder and onto a file of the user's: only -o may name such a place.
  if (fs::is_symlink(kind)) {
    error = path + " is a link; not written through (name the output with -o)";
    return false;
  }
  const fs::file_status target = fs::status(path, status);
  if (!status && fs::is_regular_file(target) && (force || madeByHvx(path))) {
    return true;
  }
  error = path + " exists and hvx did not make it; not replaced (name another output with -o" +
          (fs::is_regular_file(target) ? std::string(", or replace it with --force)") : ")");
  return false;
}

bool chooseOutputForVoice(std::string& output, const std::string& voice, const std::string& suffix,
                          const std::string& signature, bool force, std::string& error) {
  if (!output.empty()) {
    if (sameFile(voice, output)) {
      error = output + ": is the voice file itself; not written";
      return false;
    }
    return true;
  }
  output = derivedOutputName(voice, suffix);
  const auto earlierOutput = [&signature](const std::string& path) {
    return startsWith(path, signature);
  };
  return mayWriteDerived(output, voice, earlierOutput, force, error);
}
