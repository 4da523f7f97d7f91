#pragma once

#include <cstddef>

// The studio's page (HTML, style and script in one file, hvx/studio/page/page.html),
// built into the program so that it needs nothing from outside.
extern const char* const kStudioPage;
extern const std::size_t kStudioPageSize;
