#pragma once

// Scale factors the output bytes depend on. Each is a single-precision
// constant widened exactly to double, so that mixed arithmetic rounds only
// where a result is stored.

// One per cent (float bits 0x3C23D70A).
constexpr double kPercent = static_cast<double>(0.01f);
// One per mille (float bits 0x3A83126F).
constexpr double kPerMille = static_cast<double>(0.001f);
