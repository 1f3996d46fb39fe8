// Decodes any set of channels of one data group from records in memory in
// one pass over the records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "mdf/blocks.h"

namespace mdf {

class CDataBlock;

// What a group decoder does beside decoding the bits.
struct GroupDecodeOptions {
  bool convert = true;              // apply each channel's effective conversion
  bool replaceTimeNoValues = true;  // the KESTRAVO time-channel replacement, as DecodeValues does
};

// The decoders are made once, when the object is made: per channel a loop
// chosen by its type, width, byte order and conversion, so that nothing is
// tested per sample. Decode walks the records in slices of about kSliceBytes,
// so that a slice stays in the L2 cache while every channel is decoded from
// it. Each channel's values are those DecodeValues gives for the same range:
// the same bits, conversion, NoValue replacement in time channels of KESTRAVO
// files (over the whole range of one call) and cut of the range.
//
// Two ways to take the values:
//   (a) Decode(records, outputs, ...): into one array per channel;
//   (b) Decode(records, sink, ...): slice by slice per channel, for instance
//       to reduce value ranges on the fly without storing the doubles.
// An object may serve any number of calls, for instance one per chunk of
// records; the data block and the channels must outlive it. A call touches
// nothing but its arguments, the object and the channels' replaced-sample
// lists, so that objects on several threads may decode distinct channels.
//
// For instance, the value ranges of every channel of a chunk of records that
// starts at record `first` of the group, without storing the doubles:
//   struct Ranges : CGroupDecoder::Sink {
//     std::vector<double> min, max;  // one per channel
//     void Values(size_t k, uint32_t, std::span<const double> v) override {
//       for (double x : v) { min[k] = std::min(min[k], x); max[k] = std::max(max[k], x); }
//     }
//   };
//   CGroupDecoder decoder(data, channels);        // once
//   decoder.Decode(chunk, ranges, 0, n, first);   // per chunk of n records
class CGroupDecoder {
 public:
  using Options = GroupDecodeOptions;
  // Receives the values of one channel for one slice of records.
  class Sink {
   public:
    virtual ~Sink() = default;
    // `channel` indexes the channels the decoder was made with; `first` is
    // the index of the slice's first record within the call's range (0 for
    // the record at `firstRecord`). The values are valid during the call only.
    virtual void Values(size_t channel, uint32_t first, std::span<const double> values) = 0;
  };
  static constexpr size_t kSliceBytes = size_t{256} << 10;

  CGroupDecoder(const CDataBlock& data, std::span<CCNBlock* const> channels, Options options = {});
  ~CGroupDecoder();
  CGroupDecoder(const CGroupDecoder&) = delete;
  CGroupDecoder& operator=(const CGroupDecoder&) = delete;

  size_t GetChannelCount() const;
  CCNBlock* GetChannel(size_t k) const;
  // False for a channel whose bits do not lie within its record: it gets no values.
  bool Delivers(size_t k) const;

  // Decodes records [firstRecord, firstRecord + count) of `records`, a buffer
  // of consecutive whole records whose first one is record `bufferFirstRecord`
  // of the group, into outputs[k] for channel k (one output per channel; a
  // channel that delivers nothing gets nothing written). The range is cut as
  // DecodeValues cuts it and at the smallest output of a delivering channel.
  // Returns the records decoded.
  uint32_t Decode(std::span<const uint8_t> records, std::span<const std::span<double>> outputs,
                  uint32_t firstRecord, uint32_t count, uint32_t bufferFirstRecord = 0);
  // The same walk, handing each slice of each delivering channel to `sink`;
  // the slices of one channel come in record order.
  uint32_t Decode(std::span<const uint8_t> records, Sink& sink, uint32_t firstRecord, uint32_t count,
                  uint32_t bufferFirstRecord = 0);

 private:
  struct Channel;
  // Cuts the range and walks it slice by slice; emit(channel, first, n, slice records).
  template <typename Emit>
  uint32_t Walk(std::span<const uint8_t> records, uint32_t firstRecord, uint32_t count,
                uint32_t bufferFirstRecord, Emit&& emit);
  // The step of a time channel's NoValue replacement: the difference of the
  // first two neighbouring values that are not NoValue, from `from` on.
  double FindStep(const Channel& channel, const uint8_t* records, size_t from, size_t n) const;

  const CDataBlock& m_data;
  std::vector<Channel> m_channels;
  size_t m_recordLength = 0;
  size_t m_perSlice = 1;          // records per slice
  std::vector<double> m_scratch;  // one slice of one channel, for sinks
};

}  // namespace mdf
