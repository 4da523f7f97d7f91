// tonepix with a fixed random seed: `tonepix_replay SEED [options] pictures...`
// runs exactly the program's driver, with the generator seeded through the
// test-only seeding function instead of the clock, so that every byte of a
// run can be compared across versions of the code.
#include <cstdio>
#include <cstdlib>

#include "cli/converter.h"
#include "cli/driver.h"
#include "common/random_source.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tonepix_replay SEED [tonepix options] pictures...\n");
    return 2;
  }
  static Converter converter;
  RandomSource::seed(static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)));
  // The seed stands where the program name would: options start after it.
  std::exit(runConverter(converter, argc - 1, argv + 1));
}
