#include <cstdlib>

#include "cli/converter.h"
#include "cli/driver.h"
#include "cli/signals.h"

int main(int argc, char** argv) {
  // Static: the matrices are large, and the one Converter lives for the whole
  // process anyway.
  installSignalHandling();
  static Converter converter;
  std::exit(runConverter(converter, argc, argv));
}
