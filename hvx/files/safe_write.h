#pragma once

#include <functional>
#include <string>

#include "files/safe_replace.h"

// Every file hvx writes (pictures, voices, previews, the studio's saves)
// goes through here, onto tonepix's own replacement (files/safe_replace.h):
// a temporary file in the same folder, renamed into place, so that a failure
// never leaves a half-written file and a replaced file keeps its permission
// bits.

// Fills the open file; false, with a line in `problem` when it can say more
// than the system's error, when it could not.
using FileFiller = std::function<bool(Replacement& file, std::string& problem)>;

// Writes what `fill` puts into the file at `path`. False with a one-line
// reason (the path not included) in `error`.
bool writeFileThrough(const std::string& path, const FileFiller& fill, std::string& error);

// Writes `bytes` to `path` so. False with a one-line reason in `error`.
bool writeFileSafely(const std::string& path, const std::string& bytes, std::string& error);
