#include "platform/ddc/model.h"

#include <algorithm>

#include "platform/win32/codepage.h"

namespace ddc {

void PropertyList::Set(Property property) {
  auto it = index_.find(property.name);
  if (it != index_.end()) {
    items_[it->second] = std::move(property);
    return;
  }
  index_.emplace(property.name, items_.size());
  items_.push_back(std::move(property));
}

void PropertyList::SetDefault(Property property) {
  if (!Find(property.name)) Set(std::move(property));
}

const Property* PropertyList::Find(std::string_view name) const {
  auto it = index_.find(std::string(name));
  return it == index_.end() ? nullptr : &items_[it->second];
}

void PropertyList::OrderFirst(const std::vector<std::string_view>& names) {
  std::vector<Property> ordered;
  ordered.reserve(items_.size());
  std::vector<bool> taken(items_.size(), false);
  for (std::string_view name : names) {
    auto it = index_.find(std::string(name));
    if (it == index_.end()) continue;
    ordered.push_back(std::move(items_[it->second]));
    taken[it->second] = true;
  }
  for (size_t i = 0; i < items_.size(); ++i)
    if (!taken[i]) ordered.push_back(std::move(items_[i]));
  items_ = std::move(ordered);
  index_.clear();
  for (size_t i = 0; i < items_.size(); ++i) index_.emplace(items_[i].name, i);
}

Property TextProperty(std::string name, std::string text) {
  return Property{std::move(name), DDC_TypeString, std::move(text)};
}
Property DoubleProperty(std::string name, double value) {
  return Property{std::move(name), DDC_TypeDouble, value};
}
Property TimestampProperty(std::string name, Timestamp value) {
  return Property{std::move(name), DDC_TypeTimestamp, value};
}

uint64_t PartialChunkCount(const TdmsLayout& layout, const TdmsSlot& slot, uint64_t tail_bytes) {
  if (tail_bytes == 0) return 0;
  if (!slot.scalers.empty()) {
    // Whole rows of every buffer that the slot's scalers read.
    uint64_t n = slot.per_chunk;
    for (const DaqmxScaler& s : slot.scalers) {
      const DaqmxBuffer& b = layout.buffers[s.buffer];
      n = std::min(n, tail_bytes <= b.offset ? 0 : (tail_bytes - b.offset) / b.width);
    }
    return n;
  }
  if (layout.interleaved) {
    const uint64_t rows = layout.row_bytes ? tail_bytes / layout.row_bytes : 0;
    return std::min(rows, slot.per_chunk);
  }
  if (tail_bytes <= slot.offset) return 0;
  const uint64_t available = tail_bytes - slot.offset;
  if (slot.is_string) return available >= slot.bytes ? slot.per_chunk : 0;
  if (slot.value_size == 0) return 0;
  return std::min(slot.per_chunk, available / slot.value_size);
}

uint32_t ValueSize(DDCDataType type) {
  switch (type) {
    case DDC_TypeInt8:
    case DDC_TypeUInt8:
    case DDC_TypeBoolean:
      return 1;
    case DDC_TypeInt16:
    case DDC_TypeUInt16:
      return 2;
    case DDC_TypeInt32:
    case DDC_TypeUInt32:
    case DDC_TypeFloat:
    case DDC_TypeFloatWithUnit:
      return 4;
    case DDC_TypeInt64:
    case DDC_TypeUInt64:
    case DDC_TypeDouble:
    case DDC_TypeDoubleWithUnit:
      return 8;
    case DDC_TypeChannelTimestamp:
      return 16;
    default:
      return 0;
  }
}

bool IsNumberType(DDCDataType type) {
  return ValueSize(type) != 0 && type != DDC_TypeChannelTimestamp;
}

std::string FromUtf8(std::string_view utf8) { return winport::Utf8ToAnsi(utf8); }
std::string ToUtf8(std::string_view ansi) { return winport::AnsiToUtf8(ansi); }

}  // namespace ddc
