#include "hvx/picture/decode/stb_reason.h"

#include <stb_image.h>

std::string stbReason() {
  const char* reason = stbi_failure_reason();
  std::string text;
  for (const char* c = reason; c != nullptr && *c != '\0'; ++c) {
    if (*c >= ' ' && *c <= '~') {
      text += *c;
    }
  }
  return text.empty() ? "no reason given" : text;
}
