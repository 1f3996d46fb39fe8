#include "platform/ddc/tdms.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "platform/ddc/cursor.h"
#include "platform/ddc/timestamp.h"

namespace ddc {
namespace {

// Lead-in: tag, ToC mask (always little-endian), version, next-segment
// offset and raw-data offset (both from the end of the lead-in).
constexpr uint64_t kLeadInSize = 28;
constexpr char kTag[4] = {'T', 'D', 'S', 'm'};
constexpr uint32_t kTocMetaData = 0x02;
constexpr uint32_t kTocNewObjectList = 0x04;
constexpr uint32_t kTocRawData = 0x08;
constexpr uint32_t kTocInterleaved = 0x20;
constexpr uint32_t kTocBigEndian = 0x40;
constexpr uint64_t kUnfinishedSegment = ~0ull;

// Raw-data index headers.
constexpr uint32_t kNoRawData = 0xFFFFFFFF;
constexpr uint32_t kSameIndexAsBefore = 0;
constexpr uint32_t kDaqmxFormatChanging = 0x1269;
constexpr uint32_t kDaqmxDigitalLine = 0x126A;
constexpr uint32_t kFormatChangingScalerSize = 20;
constexpr uint32_t kDigitalLineScalerSize = 17;

// TDMS type codes beyond those the model names.
constexpr uint32_t kTdsVoid = 0;
constexpr uint32_t kTdsExtended = 11;
constexpr uint32_t kTdsExtendedWithUnit = 0x1B;
constexpr uint32_t kTdsString = 0x20;
constexpr uint32_t kTdsBoolean = 0x21;
constexpr uint32_t kTdsTimestamp = 0x44;
constexpr uint32_t kTdsFixedPoint = 0x4F;
constexpr uint32_t kTdsComplexSingle = 0x08000C;
constexpr uint32_t kTdsComplexDouble = 0x10000D;
constexpr uint32_t kTdsDaqmxRaw = 0xFFFFFFFF;

struct TypeInfo {
  bool known = false;
  bool size_known = false;  // false: a chunk holding such values cannot be laid out
  uint32_t size = 0;        // bytes per value (strings: 0)
  DDCDataType ddc = DDC_TypeUnsupported;
};

TypeInfo TdsType(uint32_t code) {
  switch (code) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10:
    case DDC_TypeFloatWithUnit: case DDC_TypeDoubleWithUnit:
      return {true, true, ValueSize(static_cast<DDCDataType>(code)), static_cast<DDCDataType>(code)};
    case kTdsBoolean: return {true, true, 1, DDC_TypeBoolean};
    case kTdsTimestamp: return {true, true, 16, DDC_TypeChannelTimestamp};
    case kTdsString: return {true, true, 0, DDC_TypeChannelString};
    case kTdsVoid: return {true, true, 0, DDC_TypeUnsupported};
    case kTdsExtended: case kTdsExtendedWithUnit: return {true, true, 16, DDC_TypeUnsupported};
    case kTdsComplexSingle: return {true, true, 8, DDC_TypeUnsupported};
    case kTdsComplexDouble: return {true, true, 16, DDC_TypeUnsupported};
    case kTdsFixedPoint: return {true, false, 0, DDC_TypeUnsupported};
    default: return {};
  }
}

// What a segment says of an object's raw data.
struct RawIndex {
  uint32_t type = 0;  // TDMS type code; DAQmx: kTdsDaqmxRaw or the channel's own number type
  uint64_t per_chunk = 0;
  uint64_t string_bytes = 0;  // strings: offsets and characters per chunk
  bool daqmx = false;
  std::vector<DaqmxScaler> scalers;  // DAQmx: where each of its values lies in a row
  std::vector<uint32_t> widths;      // DAQmx: the row width of each raw buffer
  bool operator==(const RawIndex&) const = default;
};

// The DAQmx scalers' own type codes.
DDCDataType DaqmxType(uint32_t code) {
  static constexpr DDCDataType kTypes[] = {DDC_TypeUInt8,  DDC_TypeInt8,  DDC_TypeUInt16, DDC_TypeInt16,
                                           DDC_TypeUInt32, DDC_TypeInt32, DDC_TypeUInt64, DDC_TypeInt64,
                                           DDC_TypeFloat,  DDC_TypeDouble};
  return code < std::size(kTypes) ? kTypes[code] : DDC_TypeUnsupported;
}

// The type of the values an index stores: a DAQmx channel's are those of its first scaler.
DDCDataType StoredType(const RawIndex& index) {
  if (!index.daqmx) return TdsType(index.type).ddc;
  return index.scalers.empty() ? DDC_TypeUnsupported : index.scalers.front().type;
}

enum class ObjectKind { File, Group, Channel };

struct ObjectPath {
  ObjectKind kind = ObjectKind::File;
  std::string group, channel;  // UTF-8, as stored
};

// "/" the file, "/'Group'" a group, "/'Group'/'Channel'" a channel; a quote
// inside a name is doubled.
bool ParsePath(std::string_view text, ObjectPath& out) {
  if (text == "/") {
    out.kind = ObjectKind::File;
    return true;
  }
  std::string parts[2];
  size_t count = 0, i = 0;
  while (i < text.size()) {
    if (count == 2 || text[i] != '/' || i + 1 >= text.size() || text[i + 1] != '\'') return false;
    i += 2;
    std::string& part = parts[count++];
    for (;;) {
      if (i >= text.size()) return false;
      if (text[i] == '\'') {
        if (i + 1 < text.size() && text[i + 1] == '\'') {
          part += '\'';
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      part += text[i++];
    }
  }
  if (count == 0) return false;
  out.kind = count == 1 ? ObjectKind::Group : ObjectKind::Channel;
  out.group = std::move(parts[0]);
  out.channel = std::move(parts[1]);
  return true;
}

// One object as a segment's metadata lists it.
struct ListedObject {
  std::string key;  // the path as stored
  ObjectPath path;
  enum class Data { None, SameAsBefore, New } data = Data::None;
  RawIndex index;
  std::vector<Property> properties;
};

bool ReadPropertyValue(Cursor& c, uint32_t type, Property& p, bool& keep) {
  keep = true;
  switch (type) {
    case kTdsString: {
      std::string_view text;
      if (!c.String(text)) return false;
      p.type = DDC_TypeString;
      p.value = FromUtf8(text);
      return true;
    }
    case kTdsTimestamp: {
      std::string_view raw;
      if (!c.Bytes(16, raw)) return false;
      p.type = DDC_TypeTimestamp;
      p.value = DecodeTimestamp(reinterpret_cast<const uint8_t*>(raw.data()), c.BigEndian());
      return true;
    }
    case kTdsBoolean: {
      uint8_t v = 0;
      if (!c.Read(v)) return false;
      p.type = DDC_TypeBoolean;
      p.value = uint64_t{v != 0};
      return true;
    }
    case 1: { int8_t v; if (!c.Read(v)) return false; p.value = int64_t{v}; break; }
    case 2: { int16_t v; if (!c.Read(v)) return false; p.value = int64_t{v}; break; }
    case 3: { int32_t v; if (!c.Read(v)) return false; p.value = int64_t{v}; break; }
    case 4: { int64_t v; if (!c.Read(v)) return false; p.value = v; break; }
    case 5: { uint8_t v; if (!c.Read(v)) return false; p.value = uint64_t{v}; break; }
    case 6: { uint16_t v; if (!c.Read(v)) return false; p.value = uint64_t{v}; break; }
    case 7: { uint32_t v; if (!c.Read(v)) return false; p.value = uint64_t{v}; break; }
    case 8: { uint64_t v; if (!c.Read(v)) return false; p.value = v; break; }
    case 9: case DDC_TypeFloatWithUnit: { float v; if (!c.Read(v)) return false; p.value = double{v}; break; }
    case 10: case DDC_TypeDoubleWithUnit: { double v; if (!c.Read(v)) return false; p.value = v; break; }
    default: {
      // Values that the model cannot hold are passed over; unknown types end the metadata.
      const TypeInfo info = TdsType(type);
      if (!info.known || !info.size_known || type == kTdsVoid) return false;
      keep = false;
      return c.Skip(info.size);
    }
  }
  p.type = static_cast<DDCDataType>(type);
  return true;
}

// A DAQmx index: type, dimension, values per chunk, the scalers and the
// raw buffers' row widths. False when it is damaged: an unknown type, a
// scaler outside its buffer's row, or one of another type than its channel.
bool ReadDaqmxIndex(Cursor& c, uint32_t header, RawIndex& index) {
  uint32_t type = 0, dimension = 0, scalers = 0, widths = 0;
  if (!c.Read(type) || !c.Read(dimension) || !c.Read(index.per_chunk) || !c.Read(scalers)) return false;
  if (dimension != 1) return false;
  const DDCDataType own = type == kTdsDaqmxRaw ? DDC_TypeUnsupported : TdsType(type).ddc;
  if (type != kTdsDaqmxRaw && !IsNumberType(own)) return false;
  const bool digital = header == kDaqmxDigitalLine;
  const uint32_t scaler_size = digital ? kDigitalLineScalerSize : kFormatChangingScalerSize;
  if (scalers == 0 || scalers > c.Remaining() / scaler_size) return false;
  index.scalers.resize(scalers);
  for (DaqmxScaler& s : index.scalers) {
    uint32_t daqmx_type = 0, position = 0, format = 0;
    uint8_t bitmap = 0;
    if (!c.Read(daqmx_type) || !c.Read(s.buffer) || !c.Read(position) ||
        !(digital ? c.Read(bitmap) : c.Read(format)) || !c.Read(s.scale_id))
      return false;
    const DDCDataType raw = DaqmxType(daqmx_type);
    if (raw == DDC_TypeUnsupported) return false;
    // A channel of its own type has scalers of that type; a digital line delivers 0 or 1 in it.
    if (own != DDC_TypeUnsupported && !digital && raw != own) return false;
    s.type = own != DDC_TypeUnsupported ? own : raw;
    s.byte_offset = digital ? position / 8 : position;
    s.bit = digital ? static_cast<int32_t>(position % 8) : -1;
  }
  if (!c.Read(widths) || widths > c.Remaining() / 4) return false;
  index.widths.resize(widths);
  for (uint32_t& w : index.widths)
    if (!c.Read(w)) return false;
  for (const DaqmxScaler& s : index.scalers) {
    if (s.buffer >= index.widths.size()) return false;
    const uint32_t width = index.widths[s.buffer];
    const uint32_t size = s.bit >= 0 ? 1 : ValueSize(s.type);
    if (size > width || s.byte_offset > width - size) return false;
  }
  index.type = type;
  index.daqmx = true;
  return true;
}

// Reads a segment's metadata; false when it is damaged.
bool ReadMetadata(const std::vector<uint8_t>& bytes, bool big_endian,
                  std::vector<ListedObject>& objects) {
  Cursor c(bytes.data(), bytes.size(), big_endian);
  uint32_t count = 0;
  if (!c.Read(count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    ListedObject object;
    std::string_view key;
    uint32_t header = 0, properties = 0;
    if (!c.String(key) || !ParsePath(key, object.path) || !c.Read(header)) return false;
    object.key = std::string(key);
    if (header == kNoRawData) {
      object.data = ListedObject::Data::None;
    } else if (header == kSameIndexAsBefore) {
      object.data = ListedObject::Data::SameAsBefore;
    } else if (header == kDaqmxFormatChanging || header == kDaqmxDigitalLine) {
      object.data = ListedObject::Data::New;
      if (!ReadDaqmxIndex(c, header, object.index)) return false;
    } else {
      // The header value is unreliable among writers: the type code decides the layout.
      object.data = ListedObject::Data::New;
      uint32_t dimension = 0;
      if (!c.Read(object.index.type) || !c.Read(dimension) || !c.Read(object.index.per_chunk))
        return false;
      if (dimension != 1 || !TdsType(object.index.type).known) return false;
      if (object.index.type == kTdsString) {
        uint64_t offsets = 0;
        if (!c.Read(object.index.string_bytes) ||
            __builtin_mul_overflow(object.index.per_chunk, uint64_t{4}, &offsets) ||
            offsets > object.index.string_bytes)
          return false;
      }
    }
    if (!c.Read(properties)) return false;
    for (uint32_t k = 0; k < properties; ++k) {
      std::string_view name;
      uint32_t type = 0;
      Property p;
      bool keep = false;
      if (!c.String(name) || !c.Read(type) || !ReadPropertyValue(c, type, p, keep)) return false;
      if (!keep) continue;
      p.name = FromUtf8(name);
      object.properties.push_back(std::move(p));
    }
    objects.push_back(std::move(object));
  }
  return true;
}

struct ObjectState {
  ObjectPath path;
  Group* group = nullptr;
  Channel* channel = nullptr;
  std::optional<RawIndex> last_index;  // the index it had when it last had data
};

struct ListEntry {
  uint32_t object = 0;
  bool has_data = false;
  RawIndex index;
  bool operator==(const ListEntry&) const = default;
};

// What a segment's metadata changes, worked out before the model changes, so
// that a damaged segment leaves objects and properties as the segments
// before it made them.
struct SegmentPlan {
  bool new_list = false;
  std::vector<ListEntry> entries;          // in listed order, each object once
  std::vector<ListedObject*> new_objects;  // each gets the next object id
  std::vector<std::pair<uint32_t, ListedObject*>> listed;
};

// The layout of the current object list, kept while the list's data part and
// the segments' layout bits stay the same.
struct LayoutCache {
  bool valid = false;
  uint32_t bits = 0;  // ToC bits that shape the layout
  TdmsLayout layout;
  std::vector<uint32_t> slot_objects;
  bool usable = true;
  bool daqmx = false;
  bool channels_known = false;  // slot channels filled in
  size_t run = SIZE_MAX;        // the run that has this layout, if any
};

class TdmsLoader {
 public:
  TdmsLoader(File& file, const DataFile& data) : file_(file), data_(data) {}

  Status Load(const std::string& base_name);

 private:
  enum class Step { Next, Last, Damaged, Truncated };

  Step ReadSegment(uint64_t& pos);
  bool Plan(std::vector<ListedObject>& listed, bool new_list, SegmentPlan& plan) const;
  void ApplyList(const SegmentPlan& plan);
  bool BuildLayout(uint32_t toc);
  bool LayoutWorkExceeded() const;
  void CommitObjects(SegmentPlan& plan);
  void AddSegment(TdmsSegmentData segment);
  Group* GroupNamed(const std::string& name);
  void Finish(const std::string& base_name);

  File& file_;
  const DataFile& data_;
  std::unordered_map<std::string, uint32_t> object_ids_;
  std::vector<ObjectState> objects_;
  std::unordered_map<std::string, Group*> groups_;
  std::vector<ListEntry> list_;
  std::unordered_map<uint32_t, size_t> list_position_;  // object id -> place in list_
  LayoutCache cache_;
  uint64_t layout_work_ = 0;  // list entries and DAQmx scalers laid out so far
};

// Laying out the object list costs its length each time it changes; a file
// whose changes cost far more than its size is read no further.
constexpr uint64_t kLayoutWorkPerByte = 16;
constexpr uint64_t kLayoutWorkFloor = uint64_t{1} << 24;

bool TdmsLoader::LayoutWorkExceeded() const {
  return layout_work_ > kLayoutWorkFloor && layout_work_ / kLayoutWorkPerByte > data_.Size();
}

Status TdmsLoader::Load(const std::string& base_name) {
  uint8_t tag[4];
  if (data_.Size() < sizeof tag || !data_.ReadAt(tag, sizeof tag, 0) ||
      std::memcmp(tag, kTag, sizeof tag) != 0)
    return DDC_ErrWrongFileKind;
  uint64_t pos = 0;
  for (bool first = true;; first = false) {
    const Step step = ReadSegment(pos);
    if (step == Step::Next) continue;
    if (step == Step::Damaged && first) return DDC_ErrDamaged;
    break;  // the last segment, or damage or a cut after the segments read so far
  }
  Finish(base_name);
  return DDC_NoError;
}

// The first of the positions from, from + step, ... (only `from` when step
// is 0) where a lead-in tag starts, the file read forward in large blocks.
std::optional<uint64_t> FindLeadIn(const DataFile& data, uint64_t from, uint64_t step) {
  constexpr uint64_t kBlock = 1 << 20;
  constexpr uint64_t kTagSize = sizeof kTag;
  const uint64_t size = data.Size();
  std::vector<uint8_t> block;
  for (uint64_t pos = from; pos <= size && kTagSize <= size - pos;) {
    const uint64_t last_start = size - kTagSize;
    const uint64_t count =
        step == 0 ? 1 : std::min((last_start - pos) / step + 1, std::max<uint64_t>(1, kBlock / step));
    const uint64_t span = (count - 1) * step + kTagSize;
    block.resize(span);
    if (!data.ReadAt(block.data(), span, pos)) return std::nullopt;
    for (uint64_t k = 0; k < count; ++k)
      if (std::memcmp(block.data() + k * step, kTag, kTagSize) == 0) return pos + k * step;
    if (step == 0 || __builtin_add_overflow(pos, count * step, &pos)) break;
  }
  return std::nullopt;
}

TdmsLoader::Step TdmsLoader::ReadSegment(uint64_t& pos) {
  const uint64_t size = data_.Size();
  if (pos == size) return Step::Last;
  uint8_t lead[kLeadInSize];
  if (size - pos < kLeadInSize) return pos == 0 ? Step::Damaged : Step::Truncated;
  if (!data_.ReadAt(lead, kLeadInSize, pos) || std::memcmp(lead, kTag, 4) != 0)
    return Step::Damaged;
  const uint32_t toc = ddc::Load<uint32_t>(lead + 4, false);
  const bool big_endian = (toc & kTocBigEndian) != 0;
  const uint64_t next = ddc::Load<uint64_t>(lead + 12, big_endian);
  const uint64_t raw = ddc::Load<uint64_t>(lead + 20, big_endian);
  const uint64_t start = pos + kLeadInSize;
  const uint64_t available = size - start;
  const bool unfinished = next == kUnfinishedSegment;
  if (!unfinished && raw > next) return Step::Damaged;
  if (raw > available) return Step::Truncated;  // the file ends inside the metadata
  const bool beyond = !unfinished && next > available;
  bool last = unfinished || beyond || next == available;
  const uint64_t data_pos = start + raw;
  uint64_t data_end = last ? size : start + next;

  std::vector<ListedObject> listed;
  SegmentPlan plan;
  if (toc & kTocMetaData) {
    std::vector<uint8_t> metadata(raw);
    if (!data_.ReadAt(metadata.data(), metadata.size(), start)) return Step::Damaged;
    if (!ReadMetadata(metadata, big_endian, listed)) return Step::Damaged;
    if (!Plan(listed, (toc & kTocNewObjectList) != 0, plan)) return Step::Damaged;
    // Only the object list changes before the segment proves sound; nothing is
    // read after a damaged segment.
    ApplyList(plan);
  }

  TdmsSegmentData segment;
  segment.data_pos = data_pos;
  const bool has_raw = (toc & kTocRawData) != 0;
  if (has_raw && !BuildLayout(toc)) return Step::Damaged;
  const uint64_t chunk = has_raw && cache_.usable ? cache_.layout.chunk_bytes : 0;
  if (beyond) {
    // The next segment cannot lie beyond the file's end. A lead-in at one of
    // this segment's chunk boundaries shows that the offset is damaged: the
    // data end there, and the segment there is read next.
    if (const std::optional<uint64_t> at = FindLeadIn(data_, data_pos, chunk)) {
      data_end = *at;
      last = false;
    }
  }
  if (chunk > 0) {
    const uint64_t data_size = data_end - data_pos;
    segment.chunks = data_size / chunk;
    const uint64_t rest = data_size % chunk;
    if (rest != 0 && !last) return Step::Damaged;
    if (last) segment.tail_bytes = rest;
  }
  CommitObjects(plan);
  if ((toc & kTocRawData) && cache_.usable && (segment.chunks > 0 || segment.tail_bytes > 0))
    AddSegment(segment);
  pos = data_end;
  return last ? Step::Last : Step::Next;
}

bool TdmsLoader::Plan(std::vector<ListedObject>& listed, bool new_list, SegmentPlan& plan) const {
  plan.new_list = new_list;
  std::unordered_map<std::string, uint32_t> pending_ids;
  std::unordered_map<uint32_t, size_t> entry_of;  // object id -> place in plan.entries
  for (ListedObject& object : listed) {
    uint32_t id = 0;
    if (auto it = object_ids_.find(object.key); it != object_ids_.end()) {
      id = it->second;
    } else if (auto p = pending_ids.find(object.key); p != pending_ids.end()) {
      id = p->second;
    } else {
      id = static_cast<uint32_t>(objects_.size() + plan.new_objects.size());
      pending_ids.emplace(object.key, id);
      plan.new_objects.push_back(&object);
    }
    plan.listed.emplace_back(id, &object);

    ListEntry entry{id, object.data != ListedObject::Data::None, {}};
    // The index the object had last: earlier in this segment, or before it.
    std::optional<RawIndex> before;
    auto here = entry_of.find(id);
    if (here != entry_of.end() && plan.entries[here->second].has_data)
      before = plan.entries[here->second].index;
    else if (id < objects_.size())
      before = objects_[id].last_index;
    if (object.data == ListedObject::Data::SameAsBefore) {
      if (!before) return false;  // reuse of an index never seen
      entry.index = *before;
    } else if (object.data == ListedObject::Data::New) {
      // A channel changes its type.
      if (before && (before->type != object.index.type || StoredType(*before) != StoredType(object.index)))
        return false;
      entry.index = object.index;
    }
    if (here != entry_of.end()) {
      plan.entries[here->second] = entry;
    } else {
      entry_of.emplace(id, plan.entries.size());
      plan.entries.push_back(entry);
    }
  }
  return true;
}

void TdmsLoader::ApplyList(const SegmentPlan& plan) {
  bool changed = false;
  if (plan.new_list) {
    changed = plan.entries != list_;
    if (changed) {
      list_ = plan.entries;
      list_position_.clear();
      for (size_t i = 0; i < list_.size(); ++i) list_position_[list_[i].object] = i;
    }
  } else {
    for (const ListEntry& entry : plan.entries) {
      auto it = list_position_.find(entry.object);
      if (it == list_position_.end()) {
        list_position_.emplace(entry.object, list_.size());
        list_.push_back(entry);
        changed = true;
      } else if (!(list_[it->second] == entry)) {
        list_[it->second] = entry;
        changed = true;
      }
    }
  }
  if (changed) cache_.valid = false;
}

// A DAQmx chunk holds, for each raw buffer in turn, as many rows as the
// channels reading from it have values per chunk at most.
bool LayOutDaqmxBuffers(const std::vector<uint32_t>& widths, TdmsLayout& layout) {
  layout.buffers.assign(widths.size(), DaqmxBuffer{});
  for (size_t b = 0; b < widths.size(); ++b) layout.buffers[b].width = widths[b];
  for (const TdmsSlot& slot : layout.slots)
    for (const DaqmxScaler& s : slot.scalers)
      layout.buffers[s.buffer].rows = std::max(layout.buffers[s.buffer].rows, slot.per_chunk);
  uint64_t running = 0;
  for (DaqmxBuffer& b : layout.buffers) {
    uint64_t bytes = 0;
    b.offset = running;
    if (__builtin_mul_overflow(b.rows, b.width, &bytes) || __builtin_add_overflow(running, bytes, &running))
      return false;
  }
  layout.chunk_bytes = running;
  return true;
}

bool TdmsLoader::BuildLayout(uint32_t toc) {
  const uint32_t bits = toc & (kTocInterleaved | kTocBigEndian);
  if (cache_.valid && cache_.bits == bits) return true;
  layout_work_ += list_.size();
  if (LayoutWorkExceeded()) return false;
  cache_ = LayoutCache{};
  cache_.bits = bits;
  TdmsLayout& layout = cache_.layout;
  layout.big_endian = (toc & kTocBigEndian) != 0;
  const std::vector<uint32_t>* widths = nullptr;  // of the DAQmx channels
  bool plain = false;
  for (const ListEntry& entry : list_) {
    if (!entry.has_data) continue;
    TdmsSlot slot;
    slot.per_chunk = entry.index.per_chunk;
    if (entry.index.daqmx) {
      // The channels of a DAQmx segment share its raw buffers.
      if (widths && *widths != entry.index.widths) return false;
      widths = &entry.index.widths;
      cache_.daqmx = true;
      slot.scalers = entry.index.scalers;
      layout_work_ += slot.scalers.size();
    } else {
      plain = true;
      const TypeInfo info = TdsType(entry.index.type);
      if (!info.size_known) cache_.usable = false;
      slot.is_string = entry.index.type == kTdsString;
      slot.value_size = info.ddc == DDC_TypeUnsupported ? 0 : info.size;
      if (slot.is_string) slot.bytes = entry.index.string_bytes;
      else if (__builtin_mul_overflow(slot.per_chunk, uint64_t{info.size}, &slot.bytes)) return false;
    }
    layout.slots.push_back(slot);
    cache_.slot_objects.push_back(entry.object);
  }
  if (LayoutWorkExceeded()) return false;
  if (cache_.daqmx && plain) return false;  // DAQmx raw data beside other values
  if (cache_.daqmx && !LayOutDaqmxBuffers(*widths, layout)) return false;
  const bool lone_string = layout.slots.size() == 1 && layout.slots[0].is_string;
  layout.interleaved = (toc & kTocInterleaved) && !cache_.daqmx && !lone_string;
  uint64_t running = 0;
  if (layout.interleaved) {
    for (TdmsSlot& slot : layout.slots) {
      if (slot.is_string || slot.per_chunk != layout.slots[0].per_chunk) return false;
      slot.offset = running;
      running += slot.per_chunk ? slot.bytes / slot.per_chunk : 0;  // at most 16 bytes each
    }
    layout.row_bytes = running;
    if (!layout.slots.empty() &&
        __builtin_mul_overflow(layout.slots[0].per_chunk, running, &layout.chunk_bytes))
      return false;
  } else if (!cache_.daqmx) {
    for (TdmsSlot& slot : layout.slots) {
      slot.offset = running;
      if (__builtin_add_overflow(running, slot.bytes, &running)) return false;
    }
    layout.chunk_bytes = running;
  }
  cache_.valid = true;
  return true;
}

Group* TdmsLoader::GroupNamed(const std::string& name) {
  auto it = groups_.find(name);
  if (it != groups_.end()) return it->second;
  file_.groups.push_back(std::make_unique<Group>());
  Group* group = file_.groups.back().get();
  group->properties.Set(TextProperty("name", FromUtf8(name)));
  groups_.emplace(name, group);
  return group;
}

void TdmsLoader::CommitObjects(SegmentPlan& plan) {
  for (ListedObject* object : plan.new_objects) {
    ObjectState state;
    state.path = object->path;
    if (object->path.kind != ObjectKind::File) state.group = GroupNamed(object->path.group);
    if (object->path.kind == ObjectKind::Channel) {
      state.group->channels.push_back(std::make_unique<Channel>());
      state.channel = state.group->channels.back().get();
      state.channel->properties.Set(TextProperty("name", FromUtf8(object->path.channel)));
      state.channel->source = TdmsValues{};
    }
    object_ids_.emplace(object->key, static_cast<uint32_t>(objects_.size()));
    objects_.push_back(std::move(state));
  }
  for (const ListEntry& entry : plan.entries) {
    if (!entry.has_data) continue;
    ObjectState& state = objects_[entry.object];
    if (!state.last_index && state.channel) state.channel->type = StoredType(entry.index);
    state.last_index = entry.index;
  }
  for (auto& [id, object] : plan.listed) {
    ObjectState& state = objects_[id];
    PropertyList& target = state.channel ? state.channel->properties
                           : state.group ? state.group->properties
                                         : file_.properties;
    for (Property& p : object->properties) target.Set(std::move(p));
  }
}

bool SameLayout(const TdmsLayout& a, const TdmsLayout& b) {
  if (a.slots.size() != b.slots.size() || a.chunk_bytes != b.chunk_bytes ||
      a.row_bytes != b.row_bytes || a.interleaved != b.interleaved || a.big_endian != b.big_endian)
    return false;
  for (size_t i = 0; i < a.slots.size(); ++i) {
    const TdmsSlot& x = a.slots[i];
    const TdmsSlot& y = b.slots[i];
    if (x.channel != y.channel || x.value_size != y.value_size || x.is_string != y.is_string ||
        x.per_chunk != y.per_chunk || x.offset != y.offset || x.bytes != y.bytes || x.scalers != y.scalers)
      return false;
  }
  return a.buffers == b.buffers;
}

void TdmsLoader::AddSegment(TdmsSegmentData segment) {
  if (!cache_.channels_known) {
    for (size_t i = 0; i < cache_.layout.slots.size(); ++i)
      cache_.layout.slots[i].channel = objects_[cache_.slot_objects[i]].channel;
    cache_.channels_known = true;
  }
  TdmsIndex& index = file_.tdms;
  const bool continues = !index.runs.empty() && (cache_.run == index.runs.size() - 1 ||
                                                 SameLayout(index.runs.back().layout, cache_.layout));
  if (!continues) {
    TdmsRun run;
    run.layout = cache_.layout;
    run.segment_begin = run.segment_end = index.segments.size();
    index.runs.push_back(std::move(run));
  }
  cache_.run = index.runs.size() - 1;
  TdmsRun& run = index.runs.back();
  segment.first_chunk = run.chunks;
  run.chunks += segment.chunks;  // bounded by the file's size
  index.segments.push_back(segment);
  run.segment_end = index.segments.size();
}

uint64_t SaturatingMul(uint64_t a, uint64_t b) {
  uint64_t r = 0;
  return __builtin_mul_overflow(a, b, &r) ? UINT64_MAX : r;
}
uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  uint64_t r = 0;
  return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

void TdmsLoader::Finish(const std::string& base_name) {
  TdmsIndex& index = file_.tdms;
  for (size_t r = 0; r < index.runs.size(); ++r) {
    const TdmsRun& run = index.runs[r];
    const uint64_t tail = index.segments[run.segment_end - 1].tail_bytes;
    for (size_t s = 0; s < run.layout.slots.size(); ++s) {
      const TdmsSlot& slot = run.layout.slots[s];
      if (!slot.channel) continue;
      const uint64_t count = SaturatingAdd(SaturatingMul(run.chunks, slot.per_chunk),
                                           PartialChunkCount(run.layout, slot, tail));
      if (count == 0) continue;
      auto& refs = std::get<TdmsValues>(slot.channel->source).runs;
      refs.push_back({static_cast<uint32_t>(r), static_cast<uint32_t>(s), slot.channel->count, count});
      slot.channel->count = SaturatingAdd(slot.channel->count, count);
    }
  }
  // Names and the leading properties that TDMS objects always have.
  const Property* stored_name = file_.properties.Find("name");
  if (!stored_name || !std::holds_alternative<std::string>(stored_name->value) ||
      std::get<std::string>(stored_name->value).empty())
    file_.properties.Set(TextProperty("name", base_name));
  for (const char* text : {"description", "title", "author"})
    file_.properties.SetDefault(TextProperty(text, ""));
  file_.properties.SetDefault(TimestampProperty("datetime", Timestamp{}));
  file_.properties.OrderFirst({"name", "description", "title", "author", "datetime"});
  for (const ObjectState& state : objects_) {
    if (state.path.kind == ObjectKind::Group) {
      state.group->properties.Set(TextProperty("name", FromUtf8(state.path.group)));
    } else if (state.channel) {
      state.channel->properties.Set(TextProperty("name", FromUtf8(state.path.channel)));
    }
  }
  for (auto& group : file_.groups) {
    group->properties.SetDefault(TextProperty("description", ""));
    group->properties.OrderFirst({"name", "description"});
    for (auto& channel : group->channels) {
      PropertyList& p = channel->properties;
      p.SetDefault(TextProperty("description", ""));
      p.SetDefault(TextProperty("unit_string", ""));
      p.SetDefault(DoubleProperty("minimum", 0.0));
      p.SetDefault(DoubleProperty("maximum", 0.0));
      p.OrderFirst({"name", "description", "unit_string", "minimum", "maximum"});
    }
  }
}

}  // namespace

Status LoadTdms(std::unique_ptr<DataFile> data, const std::string& base_name, File& file) {
  file.data_files.push_back(std::move(data));
  TdmsLoader loader(file, *file.data_files.front());
  return loader.Load(base_name);
}

}  // namespace ddc
