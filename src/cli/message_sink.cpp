#include "cli/message_sink.h"

#include <cstdarg>
#include <memory>
#include <new>

void say(const MessageSink& sink, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  if (sink.stream != nullptr) {
    std::vfprintf(sink.stream, format, arguments);
  } else if (sink.collect != nullptr) {
    // Nearly every message fits here; a longer one (a long unknown option)
    // is formatted again into room of its own size.
    char line[512];
    std::va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(line, sizeof line, format, arguments);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof line) {
      sink.collect(sink.context, line, static_cast<std::size_t>(length));
    } else if (length >= 0) {
      const auto size = static_cast<std::size_t>(length) + 1;
      std::unique_ptr<char[]> text(new (std::nothrow) char[size]);
      if (text) {
        std::vsnprintf(text.get(), size, format, again);
        sink.collect(sink.context, text.get(), size - 1);
      }
    }
    va_end(again);
  }
  va_end(arguments);
}
