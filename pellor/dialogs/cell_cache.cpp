#include "pellor/dialogs/cell_cache.h"

#include <algorithm>

void CCellCache::Reset(uint64_t records, uint32_t channels) {
  m_rows.clear();
  m_rows.shrink_to_fit();
  m_slot.clear();
  m_oldest = 0;
  m_channels = channels;
  m_rowCapacity = channels == 0 ? 0 : std::min<uint64_t>(records, std::max<uint64_t>(1, kMaxCells / channels));
}

std::optional<std::string_view> CCellCache::Find(uint32_t record, uint32_t column) const {
  if (column == 0 || column > m_channels) return std::nullopt;
  const auto it = m_slot.find(record);
  if (it == m_slot.end()) return std::nullopt;
  const Row& row = m_rows[it->second];
  const auto [offset, length] = row.spans[column - 1];
  if (length == kNotMade) return std::nullopt;
  return std::string_view(row.texts).substr(offset, length);
}

void CCellCache::Put(uint32_t record, uint32_t column, std::string_view text) {
  if (column == 0 || column > m_channels || m_rowCapacity == 0 || text.size() >= kNotMade) return;
  auto it = m_slot.find(record);
  if (it == m_slot.end()) {
    size_t slot;
    if (m_rows.size() < m_rowCapacity) {
      slot = m_rows.size();
      m_rows.emplace_back();
    } else {
      slot = m_oldest;
      m_oldest = (m_oldest + 1) % m_rows.size();
      m_slot.erase(m_rows[slot].record);
    }
    Row& row = m_rows[slot];
    row.record = record;
    row.texts.clear();
    row.spans.assign(m_channels, {0, kNotMade});
    it = m_slot.emplace(record, slot).first;
  }
  Row& row = m_rows[it->second];
  if (row.texts.size() > UINT32_MAX - text.size()) return;
  row.spans[column - 1] = {static_cast<uint32_t>(row.texts.size()), static_cast<uint32_t>(text.size())};
  row.texts.append(text);
}
