#pragma once

#include <cstddef>
#include <cstdio>

// Where the Converter's messages and summary lines go: a stream (tonepix's
// standard error and output), or a function that takes each formatted text,
// for a program that shows them elsewhere.
struct MessageSink {
  MessageSink() = default;
  // A stream: every text is written to it as it comes.
  MessageSink(std::FILE* to) : stream(to) {}  // NOLINT(google-explicit-constructor)

  std::FILE* stream = nullptr;
  void (*collect)(void* context, const char* text, std::size_t length) = nullptr;
  void* context = nullptr;
};

// printf into the sink. `format` is always one of the program's own strings;
// a sink with neither a stream nor a function drops the text.
void say(const MessageSink& sink, const char* format, ...) __attribute__((format(printf, 2, 3)));
