#pragma once

#include <cstddef>

// The studio's page (hvx/studio/page/page.html) and the scripts and style it
// loads, built into the program so that it needs nothing from outside.
extern const char* const kStudioPage;
extern const std::size_t kStudioPageSize;

struct StudioPageFile {
  const char* name;  // "grid.js": served as /grid.js
  const char* bytes;
  std::size_t size;
};
extern const StudioPageFile kStudioPageFiles[];
extern const std::size_t kStudioPageFileCount;
