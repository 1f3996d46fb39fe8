// The pieces of the CAN-log import that stand on their own: signal names from
// patterns, how a signal's bits are read from a frame, and the time axes.
#include <cmath>
#include <limits>

#include "importcore/support.h"
#include "mdf/format.h"
#include "pellor/candb/candb.h"
#include "pellor/canlog.h"
#include "pellor/file_import.h"
#include "pellor/options.h"

namespace pellor {

std::string FormatCanSignalName(std::string_view pattern, const CanSig& signal, const CanMsg& message,
                                 int32_t channel) {
  if (pattern.empty()) return signal.Name();
  const uint32_t id = static_cast<uint32_t>(message.Id());
  std::string out;
  for (size_t at = 0; at < pattern.size();) {
    if (pattern[at] != '<') {
      out += pattern[at++];
      continue;
    }
    const size_t close = pattern.find('>', at + 1);
    if (close == std::string_view::npos) {  // the '<' goes, the rest is copied
      ++at;
      continue;
    }
    const std::string key(pattern.substr(at + 1, close - at - 1));
    auto is = [&](const char* name) { return importcore::EqualNoCase(key.c_str(), name); };
    if (is("ID"))
      out += std::to_string(id);
    else if (is("IDh"))
      out += mdf::StrFormat("%x", id);
    else if (is("CAN"))
      out += std::to_string(channel);
    else if (is("NAME"))
      out += signal.Name();
    else if (is("MSG"))
      out += message.Name();
    else if (is("SENDER"))
      out += message.Transmitter();
    at = close + 1;
  }
  return out;
}

DWORD MakeTypeFlags(const CanSig& signal) {
  const int32_t start = signal.StartBit();
  const int32_t length = signal.Length();
  DWORD flags = 0;
  if (signal.IsFloat()) {
    flags = mdf::kTypeFloat | (length == 32 ? 4u : 8u);
  } else if (length < 1 || length > 32) {
    return 0;  // no codec form: read as a 64-bit field
  } else if (start % 8 == 0 && (length == 8 || length == 16 || length == 32)) {
    flags = static_cast<DWORD>(length / 8);
    if (signal.IsSigned())
      flags |= mdf::kTypeSigned;
    else if (length == 32)
      flags |= mdf::kTypeAlignedUInt32;
  } else {
    const DWORD offset = static_cast<DWORD>(start % 8);
    const DWORD end = offset + static_cast<DWORD>(length);
    flags = mdf::kTypeBitField | (end < 9 ? 1u : end <= 16 ? 2u : 4u) | offset << mdf::kTypeBitOffsetShift |
            static_cast<DWORD>(length - 1) << mdf::kTypeBitCountShift;
    if (signal.IsSigned()) flags |= mdf::kTypeSigned;
  }
  if (signal.IsMotorola()) flags |= mdf::kTypeMotorola;
  return flags;
}

namespace {

// Bytes a Motorola field occupies from its first byte on: its least
// significant bit sits at StartBit() % 8 of the last of them.
int32_t MotorolaBytes(const CanSig& signal) { return (signal.StartBit() % 8 + signal.Length() + 7) / 8; }

}  // namespace

CanFieldFault CheckCanField(const CanSig& signal) {
  const int32_t start = signal.StartBit();
  const int32_t length = signal.Length();
  if (start < 0 || length < 1 || length > 64) return CanFieldFault::kOutsideFrame;
  if (signal.IsFloat()) {
    if ((length != 32 && length != 64) || start % 8 != 0) return CanFieldFault::kBadFloat;
    return start / 8 + length / 8 <= 8 ? CanFieldFault::kNone : CanFieldFault::kOutsideFrame;
  }
  if (signal.IsMotorola())
    return start / 8 + MotorolaBytes(signal) <= 8 ? CanFieldFault::kNone : CanFieldFault::kOutsideFrame;
  return start + length <= 64 ? CanFieldFault::kNone : CanFieldFault::kOutsideFrame;
}

CanFieldReader::CanFieldReader(const CanSig& signal) {
  const int32_t start = signal.StartBit();
  m_signed = signal.IsSigned();
  if (const DWORD flags = MakeTypeFlags(signal)) {
    const mdf::CDataType codec(flags);
    m_flags = flags;
    m_firstByte = static_cast<uint32_t>(start / 8);
    m_integer = codec.GetIntegerOperation();
    m_float = codec.GetDoubleOperation();
    m_kind = signal.IsFloat() ? Kind::kFloat : Kind::kInteger;
    if (m_kind == Kind::kFloat ? m_float != nullptr : m_integer != nullptr) return;
  }
  m_kind = Kind::kWide;
  m_firstByte = 0;
  m_length = static_cast<UINT>(signal.Length());
  m_motorola = signal.IsMotorola();
  // In the Motorola word byte k holds bits 8 x (7 - k) and up.
  m_shift = static_cast<UINT>(m_motorola ? 8 * (8 - start / 8 - MotorolaBytes(signal)) + start % 8 : start);
}

CanTimeAxis StraightenCanTimes(std::span<double> times) {
  CanTimeAxis axis;
  double offset = 0, previous = 0, previousDelta = 0;
  for (size_t i = 0; i < times.size(); ++i) {
    double t = offset + times[i];
    if (i == 0) {
      axis.xMin = t;
    } else {
      if (t < previous) {  // the timer started again: go on from the time before
        t = previous + times[i];
        offset = previous;
      }
      if (t == previous) t = std::nextafter(previous, std::numeric_limits<double>::infinity());
      const double delta = t - previous;
      if (i == 1) {
        axis.minDelta = axis.maxDelta = delta;
      } else {
        axis.minDelta = std::min(axis.minDelta, delta);
        axis.maxDelta = std::max(axis.maxDelta, delta);
        if (!(std::fabs(delta - previousDelta) <= 0.01 * previousDelta)) axis.equidistant = false;
      }
      if (delta < 0) axis.uniDir = false;
      previousDelta = delta;
    }
    axis.xMax = t;
    times[i] = t;
    previous = t;
  }
  return axis;
}

void ResetCanTimes(SignalList& signals) {
  double t0 = 1e308;
  for (const SignalRecord& r : signals) {
    if (r.rangeEnd == r.rangeStart) continue;  // no values
    if (r.isTime) t0 = std::min(t0, r.YMin);
    if (r.XSignal.str().empty()) t0 = std::min(t0, r.XMin);
  }
  if (t0 == 1e308) return;  // no signal has values
  t0 = importcore::ParseDouble(mdf::StrFormat("%.6lf", t0));
  for (SignalRecord& r : signals) {
    if (r.isTime) {
      r.YOffset -= t0;
      r.YMax -= t0;
      r.YMin -= t0;
    }
    r.XOffset -= t0;
    r.XMax -= t0;
    r.XMin -= t0;
  }
}

bool ReserveDataSpace(FileImport& import, SignalRecord& record) {
  const uint64_t bytes = uint64_t{record.NoOfValues} * static_cast<uint32_t>(record.Demux);
  const uint64_t blocks = (bytes + FileImport::kBlockSize - 1) / FileImport::kBlockSize;
  record.Block0 = import.m_blockCounter;
  record.rangeStart = record.rangeEnd = uint64_t{record.Block0} * FileImport::kBlockSize;
  if (import.m_dataSize + blocks * FileImport::kBlockSize >= (uint64_t{1} << 32)) {
    record.Ignore = ignore::kHidden;
    SetWarningFlag(warn::kDataSpaceFull);
    return false;
  }
  import.m_blockCounter += static_cast<uint32_t>(blocks);
  import.m_dataSize += blocks * FileImport::kBlockSize;
  record.rangeEnd += bytes;
  return true;
}

}  // namespace pellor
