// The texts of the record grid's cells, made once and kept while one data
// block is shown. The cache holds at most kMaxCells cells: when the grid has
// more (records x channels, counted in 64 bits), it keeps the rows used most
// recently and forgets the oldest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CCellCache {
 public:
  static constexpr uint64_t kMaxCells = uint64_t{4} << 20;

  // An empty cache for a grid of `records` rows and `channels` value columns
  // (numbered from 1); no channels: nothing is kept.
  void Reset(uint64_t records, uint32_t channels);
  // The text of a cell made before; none when it was not (or was forgotten).
  // The view is valid until the next Put.
  std::optional<std::string_view> Find(uint32_t record, uint32_t column) const;
  // Keeps a cell's text; a column outside 1..channels is not kept.
  void Put(uint32_t record, uint32_t column, std::string_view text);

  bool Active() const { return m_channels > 0; }
  // Rows the cache may hold at once, and the cells they have room for.
  uint64_t RowCapacity() const { return m_rowCapacity; }
  uint64_t CellCapacity() const { return m_rowCapacity * m_channels; }
  size_t RowsHeld() const { return m_rows.size(); }

 private:
  static constexpr uint32_t kNotMade = UINT32_MAX;
  // One record's cells: their texts one after another, and where each lies.
  struct Row {
    uint32_t record = 0;
    std::string texts;
    std::vector<std::pair<uint32_t, uint32_t>> spans;  // offset, length; length kNotMade: not made yet
  };

  uint32_t m_channels = 0;
  uint64_t m_rowCapacity = 0;
  std::vector<Row> m_rows;                      // at most m_rowCapacity
  std::unordered_map<uint32_t, size_t> m_slot;  // record -> index into m_rows
  size_t m_oldest = 0;                          // the row replaced next once the cache is full
};
