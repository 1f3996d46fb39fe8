// The data records of one data group and every reader of channel values.
//
// Record r of the group starts at the data link + r x record length, record
// length = record size + record-identifier bytes. A channel's value starts at
// byte start bit / 8 (+1 with record identifiers) + additional byte offset,
// bit start bit & 7. Ranges asked for are cut at the channel group's record
// count and at the records that lie whole in the data area (or buffer). Every
// reader returns the number of records whose values it wrote.
//
// Data types 0 to 3 are read in the file's default byte order (the ID
// block's), 9 to 12 in Motorola and 13 to 16 in Intel order. A value takes
// every bit of its field at any bit position: integers of 1 to 64 bits, IEEE
// singles and doubles, VAX F, G and D floats (types 4, 5, 6).
//
// A channel whose bits do not lie within its record (start bit + bit count
// beyond the record size, no bits at all), or whose type and width have no
// numeric form (a text, a byte array, a float of another width than its
// type's, an integer of more than 64 bits, a type above 16), delivers no
// values: the numeric readers return 0 records for it. The raw readers give
// the stored values of integers, IEEE floats and byte arrays, the
// value-and-time reader texts too; the grid shows texts and byte arrays, and
// leaves the cells of a channel without values empty.
//
// The records of a group are those that lie whole in the group's data area:
// from its data link to the next block the file's structure links behind it
// (or the end of the file as it was opened), so that blocks written after the
// records are never read as records.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "mdf/blocks.h"
#include "mdf/group_decoder.h"

namespace mdf {

namespace detail {
struct RecordLayout;
}

class CDataBlock : public CMdfBlock {
 public:
  CDataBlock(CDGBlock* dg, CMdf* mdf);
  ~CDataBlock() override;

  // The channel's stored values, one element per record at the size of its
  // host container: the bytes the value occupies (integers: every byte from
  // the bit shift to the last bit, so that shift + bit count fit; other types
  // (bit count + 7) / 8) rounded up to 1, 2, 4 or 8 and zero-extended (wider
  // values at their own size); Motorola values are byte-reversed; integers
  // are neither shifted nor masked, a float at a bit shift is shifted into
  // its element; nothing is converted. Channels without a stored form here
  // (texts, VAX floats, see above) give no elements. At most
  // dest.size() / RawElementSize(cn) elements are written.
  uint32_t GetRawDataContent(CCNBlock* cn, std::span<uint8_t> dest, uint32_t firstRecord,
                             uint32_t count);
  // The elements GetRawDataContent gives, copied from records in memory
  // (arguments as DecodeValues takes them), without the NoValue replacement
  // of KESTRAVO time channels. Touches nothing but its arguments.
  uint32_t CopyRawValues(const CCNBlock* cn, std::span<const uint8_t> records, std::span<uint8_t> dest,
                         uint32_t firstRecord, uint32_t count, uint32_t bufferFirstRecord = 0) const;
  // The channel's values as doubles, converted when `convert` is set.
  uint32_t GetDoubleContent(CCNBlock* cn, std::span<double> dest, uint32_t firstRecord,
                            uint32_t count, bool convert);
  // Stored values of a channel and of the time channel from the same records,
  // each as GetRawDataContent writes them; the count is cut to what both
  // destinations hold.
  uint32_t GetDataAndTimeContent(CCNBlock* value, CCNBlock* time, std::span<uint8_t> valueDest,
                                 std::span<uint8_t> timeDest, uint32_t firstRecord, uint32_t count);
  // Decodes from records already in memory: `records` holds consecutive whole
  // records, its first one being record `bufferFirstRecord` of the group;
  // `firstRecord` counts from the start of the buffer. Touches nothing but its
  // arguments and the channel's replaced-sample list, so that threads may
  // decode distinct channels of one group at once.
  uint32_t DecodeValues(CCNBlock* cn, std::span<const uint8_t> records, std::span<double> dest,
                        uint32_t firstRecord, uint32_t count, bool convert,
                        uint32_t bufferFirstRecord = 0) const;
  // Decodes as DecodeValues does, reading the records from `file`.
  uint32_t ReadChannelValues(winport::File& file, CCNBlock* cn, std::span<double> dest,
                             uint32_t firstRecord, uint32_t count, bool convert) const;

  // Reads records [firstRecord, firstRecord + count) from the file in one
  // sequential pass (chunks of a few MiB through one stream) and decodes
  // `channels` from them with a CGroupDecoder into one output per channel.
  // The values are those of DecodeValues for the whole range, the NoValue
  // replacement included (when `options` asks for it). Returns the records decoded.
  uint32_t ReadGroupValues(std::span<CCNBlock* const> channels, std::span<const std::span<double>> outputs,
                           uint32_t firstRecord, uint32_t count, GroupDecodeOptions options = {});
  // Reads the records as ReadGroupValues does and hands them on chunk by
  // chunk: fn(group index of the chunk's first record, the chunk's records,
  // one span of values per channel, each as long as the chunk has records).
  // Values as the grid shows them: without NoValue replacement. The values
  // are decoded into arrays of the call's own, or where `place`, called
  // before each chunk with the chunk's first record and record count, points
  // a channel's span (of as many values) instead.
  using ChunkFn = std::function<void(uint32_t first, std::span<const uint8_t> records,
                                     std::span<const std::span<double>> values)>;
  using PlaceFn = std::function<void(uint32_t first, uint32_t count, std::span<std::span<double>> places)>;
  uint32_t ReadGroupChunks(std::span<CCNBlock* const> channels, bool convert, uint32_t firstRecord,
                           uint32_t count, const ChunkFn& fn, const PlaceFn& place = {});

  // Whether the channel's bits lie within its record.
  bool LiesWithinRecord(const CCNBlock* cn) const;
  // Whether the numeric readers deliver the channel's values (see above).
  bool DeliversValues(const CCNBlock* cn) const;
  // Whether the raw readers give its stored values; `withTexts` for the value-and-time reader.
  bool HasStoredValues(const CCNBlock* cn, bool withTexts) const;
  // Whether the file's default byte order, for types 0 to 3, is Motorola.
  bool IsMotorolaDefault() const;
  // What the decoders take from the group to place a channel in its records.
  detail::RecordLayout Layout() const;

  // The conversion a reader applies: none for no block, for the identity
  // (65535) and for a linear conversion with factor 1 and offset 0.
  static const CCCBlock* GetEffectiveConversion(const CCCBlock* cc);
  // Bytes of one element of the channel in the raw readers' output (0 for 0 bits).
  static uint32_t RawElementSize(const CCNBlock* cn);

  // Record size + record-identifier bytes.
  uint32_t GetRecordLength() const;
  // The channel group's record count (0 without a channel group).
  uint32_t GetNumberOfRecords() const;
  // The records of the group that lie whole in its data area, at most the
  // channel group's count.
  uint32_t GetRecordsInFile() const;
  // Where the group's data area ends: the file object sets it when it opens the file.
  void SetDataEnd(int64_t end);

  // Reads one whole record into the record buffer; false when the file cannot
  // be opened or the record is not whole in it.
  bool LoadRecord(uint32_t index);
  // Clears the list and gives it the grid's columns: "Index", then one per channel.
  void Display(IListControl& list) override;
  // Text of one grid cell: column 0 the record index, column k the k-th
  // channel's value. Empty for a column past the channels and for a channel
  // cell of a record that cannot be read.
  std::string GetCellText(uint32_t record, int column);
  // The grid's text of a channel's value decoded from `record` (whole, of
  // GetRecordLength() bytes), converted and without NoValue replacement.
  std::string FormatCell(const CCNBlock& cn, double value, const uint8_t* record) const;
  // Writes all records, formatted as the grid shows them, into a text file the
  // user chooses; 1 when written, 0 when cancelled or not creatable.
  int ExportCsv();

  CDGBlock* GetDataGroup() const { return m_pDG; }

 private:
  static constexpr int64_t kUnbounded = INT64_MAX;
  // Records [first, first + count) cut to what the group, its data area and the file hold.
  uint32_t CutToAvailable(uint32_t firstRecord, uint32_t count, int64_t fileSize) const;

  CDGBlock* m_pDG;
  CMdf* m_pFile;
  std::vector<uint8_t> m_record;
  int64_t m_recordIndex = -1;  // index of the record in m_record, -1 for none
  int64_t m_dataEnd = kUnbounded;  // end of the group's data area
};

}  // namespace mdf
