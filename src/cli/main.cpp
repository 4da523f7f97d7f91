#include <cstdlib>

#include "cli/driver.h"

int main(int argc, char** argv) { std::exit(runConverter(argc, argv)); }
