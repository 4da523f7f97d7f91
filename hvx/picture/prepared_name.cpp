#include "hvx/picture/prepared_name.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

std::string defaultPreparedName(const std::string& input) {
  std::filesystem::path path(input);
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".bmp") {
    path.replace_filename(path.stem().string() + "-prepared.bmp");
  } else {
    path.replace_extension(".bmp");
  }
  return path.string();
}
