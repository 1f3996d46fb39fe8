// The group decoder: every channel asked of a data group decoded in one pass
// over its records, slice by slice.
#include "mdf/group_decoder.h"

#include <algorithm>
#include <memory>

#include "mdf/datablock.h"
#include "mdf/decode_kernels.h"
#include "mdf/record_types.h"
#include "mdf/time_novalue.h"

namespace mdf {

using namespace detail;

struct CGroupDecoder::Channel {
  CCNBlock* cn = nullptr;
  bool delivers = false;
  bool replaces = false;  // NoValue replacement in a KESTRAVO time channel
  Decoder decoder;
};

CGroupDecoder::CGroupDecoder(const CDataBlock& data, std::span<CCNBlock* const> channels, Options options)
    : m_data(data) {
  m_recordLength = data.GetRecordLength();
  m_perSlice = std::max<size_t>(1, kSliceBytes / std::max<size_t>(m_recordLength, 1));
  const RecordLayout layout = data.Layout();
  m_channels.resize(channels.size());
  for (size_t k = 0; k < channels.size(); ++k) {
    Channel& c = m_channels[k];
    c.cn = channels[k];
    c.delivers = m_recordLength > 0 && data.DeliversValues(c.cn);
    if (!c.delivers) continue;
    c.decoder = MakeDecoder(*c.cn, layout, options.convert);
    c.replaces = options.replaceTimeNoValues && ReplacesTimeNoValues(data.GetMdf(), *c.cn);
  }
}

CGroupDecoder::~CGroupDecoder() = default;

size_t CGroupDecoder::GetChannelCount() const { return m_channels.size(); }

CCNBlock* CGroupDecoder::GetChannel(size_t k) const { return k < m_channels.size() ? m_channels[k].cn : nullptr; }

bool CGroupDecoder::Delivers(size_t k) const { return k < m_channels.size() && m_channels[k].delivers; }

double CGroupDecoder::FindStep(const Channel& channel, const uint8_t* records, size_t from, size_t n) const {
  // Decodes ahead one slice at a time; a pair may span two slices.
  const double noValue = channel.cn->GetNoValue();
  std::vector<double> values(std::min(m_perSlice, n - from));
  bool haveLast = false;
  double last = 0;
  for (size_t at = from; at < n;) {
    const size_t m = std::min(m_perSlice, n - at);
    RunDecoder(channel.decoder, records + at * m_recordLength, m, values.data());
    for (size_t i = 0; i < m; ++i) {
      if (haveLast && last != noValue && values[i] != noValue) return values[i] - last;
      last = values[i];
      haveLast = true;
    }
    at += m;
  }
  return 0;
}

template <typename Emit>
uint32_t CGroupDecoder::Walk(std::span<const uint8_t> records, uint32_t firstRecord, uint32_t count,
                             uint32_t bufferFirstRecord, Emit&& emit) {
  if (m_recordLength == 0) return 0;
  const uint64_t inBuffer = records.size() / m_recordLength;
  const uint64_t absoluteFirst = uint64_t{bufferFirstRecord} + firstRecord;
  const uint64_t inGroup = m_data.GetNumberOfRecords();
  if (firstRecord >= inBuffer || absoluteFirst >= inGroup) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>({count, inBuffer - firstRecord, inGroup - absoluteFirst}));
  const uint8_t* base = records.data() + size_t{firstRecord} * m_recordLength;

  // The replacement of NoValue time stamps runs over the call's whole range.
  std::vector<std::unique_ptr<TimeNoValueReplacer>> replacers;
  for (size_t k = 0; k < m_channels.size(); ++k)
    if (m_channels[k].delivers && m_channels[k].replaces) {
      replacers.resize(m_channels.size());
      replacers[k] = std::make_unique<TimeNoValueReplacer>(*m_channels[k].cn, absoluteFirst, true);
    }

  for (size_t done = 0; done < n;) {
    const size_t m = std::min(m_perSlice, n - done);
    const uint8_t* slice = base + done * m_recordLength;
    for (size_t k = 0; k < m_channels.size(); ++k) {
      const Channel& c = m_channels[k];
      if (!c.delivers) continue;
      TimeNoValueReplacer* replacer = replacers.empty() ? nullptr : replacers[k].get();
      emit(k, done, m, slice, [&](double* values) {
        if (replacer)
          replacer->Feed(values, m, [&](size_t from) { return FindStep(c, base, from, n); });
      });
    }
    done += m;
  }
  for (auto& replacer : replacers)
    if (replacer) replacer->Finish();
  return static_cast<uint32_t>(n);
}

uint32_t CGroupDecoder::Decode(std::span<const uint8_t> records, std::span<const std::span<double>> outputs,
                               uint32_t firstRecord, uint32_t count, uint32_t bufferFirstRecord) {
  if (outputs.size() != m_channels.size()) return 0;
  for (size_t k = 0; k < m_channels.size(); ++k)
    if (m_channels[k].delivers) count = static_cast<uint32_t>(std::min<uint64_t>(count, outputs[k].size()));
  return Walk(records, firstRecord, count, bufferFirstRecord,
              [&](size_t k, size_t first, size_t m, const uint8_t* slice, auto&& replace) {
                double* out = outputs[k].data() + first;
                RunDecoder(m_channels[k].decoder, slice, m, out);
                replace(out);
              });
}

uint32_t CGroupDecoder::Decode(std::span<const uint8_t> records, Sink& sink, uint32_t firstRecord, uint32_t count,
                               uint32_t bufferFirstRecord) {
  m_scratch.resize(m_perSlice);
  return Walk(records, firstRecord, count, bufferFirstRecord,
              [&](size_t k, size_t first, size_t m, const uint8_t* slice, auto&& replace) {
                double* out = m_scratch.data();
                RunDecoder(m_channels[k].decoder, slice, m, out);
                replace(out);
                sink.Values(k, static_cast<uint32_t>(first), std::span<const double>(out, m));
              });
}

}  // namespace mdf
