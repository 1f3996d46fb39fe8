// The Y axes of pause-comment signals: each holds the times of the pauses of a
// measurement, so its values are shown as seconds from its first value, and
// each one after the first continues where the signal before it starts.
#pragma once

#include <type_traits>

namespace importcore {

// For every signal for which isPause holds: unit "s", the axis moved to start
// at 0 or at the YMin of the signal listed before it, its span kept.
template <typename Signals, typename IsPause>
void ChainPauseAxes(Signals& signals, IsPause isPause) {
  using Record = std::remove_reference_t<decltype(*signals.begin())>;
  const Record* previous = nullptr;
  for (auto& s : signals) {
    if (isPause(s)) {
      const double span = s.YMax - s.YMin;
      s.YUnit = "s";
      s.YOffset = -s.YMin;
      s.YMin = 0;
      if (previous) {
        s.YOffset += previous->YMin;
        s.YMin = previous->YMin;
      }
      s.YMax = span + s.YMin;
    }
    previous = &s;
  }
}

}  // namespace importcore
