#include "hvx/studio/tonepix_levels.h"

#include <cstring>

#include "cli/option_table.h"
#include "common/fixed_constants.h"

namespace {

// Whether every one of `values` (sorted, distinct) is in the table.
bool tableHolds(const ToneLevelTable& table, const std::vector<std::uint32_t>& values) {
  std::size_t at = 0;
  for (const std::uint32_t value : values) {
    while (at < table.size() && table[at] < value) {
      ++at;
    }
    if (at == table.size() || table[at] != value) {
      return false;
    }
  }
  return true;
}

}  // namespace

ToneLevelTable toneLevelTable(int ceiling) {
  // The loader's scale in float, then the ceiling in double, as tonepix
  // rounds them.
  constexpr float kPixelScale = 1.0f / 255.0f;
  const double factor = static_cast<double>(ceiling) * kPercent;
  ToneLevelTable table{};
  for (std::size_t level = 0; level < table.size(); ++level) {
    const float loaded = static_cast<float>(level) * kPixelScale;
    const auto stored = static_cast<float>(factor * static_cast<double>(loaded));
    std::memcpy(&table[level], &stored, sizeof stored);
  }
  return table;
}

int findToneCeiling(const std::vector<std::uint32_t>& amplitudes, ToneLevelTable& table) {
  const int preferred = optionDefault('n');
  table = toneLevelTable(preferred);
  if (tableHolds(table, amplitudes)) {
    return preferred;
  }
  // Of two ceilings that both fit, the higher one keeps the picture's levels
  // apart.
  const auto highest = static_cast<int>(findToneOption('n')->high);
  const auto lowest = static_cast<int>(findToneOption('n')->low);
  for (int ceiling = highest; ceiling >= lowest; --ceiling) {
    table = toneLevelTable(ceiling);
    if (ceiling != preferred && tableHolds(table, amplitudes)) {
      return ceiling;
    }
  }
  return 0;
}
