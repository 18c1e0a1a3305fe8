// The eight screen layouts the display converts to, as the display asks for
// their converters, for the benchmarks that time each of them: the
// converters' own table.
#pragma once

#include "layouts.h"

using BenchFormat = screen_layout;
inline constexpr const screen_layout (&kBenchFormats)[kScreenLayoutCount] = screen_layouts;
