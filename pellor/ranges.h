// The value range of a signal: from its channel's blocks, and the "nice"
// widening for display. The range from the channel's data is the loader's
// FindMinMax.
#pragma once

namespace mdf {
class CCNBlock;
class CMdf;
}  // namespace mdf

namespace pellor {

struct SignalRecord;
struct LoaderSettings;

// Sets YMin/YMax, YUnit, YFactor and YOffset of a signal from its channel:
// the range stored with this program's marker (or, in files of the KESTRAVO
// writer, the format's own range), else the conversion's physical range,
// the entries of a text table, or the range of the data type through a
// linear conversion. Ranges are ordered after the conversion. Marks the
// signal's values as read converted. Returns 1 when the range is still
// unknown, 0 when it was set.
int ComputeSignalRange(mdf::CCNBlock& channel, SignalRecord& signal, const LoaderSettings& settings,
                       const mdf::CMdf& mdf);

// With nice ranges (bit 1 of the range flags): widens [min, max] by a tenth
// on each side, or gives a constant a range around it, and sets YMin/YMax to
// it, YDataMin/YDataMax to the range before. Returns whether it changed the
// range (never without nice ranges).
bool WidenRange(SignalRecord& signal, const mdf::CCNBlock& channel, double min, double max,
                const LoaderSettings& settings);

}  // namespace pellor
