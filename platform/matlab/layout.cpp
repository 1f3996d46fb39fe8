#include "platform/matlab/layout.h"

#include <hdf5.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/win32/codepage.h"

namespace matlab {
namespace {

static_assert(std::endian::native == std::endian::little, "byte order of the host");

// Level-5 data types.
enum : uint32_t {
  miINT8 = 1,
  miUINT8 = 2,
  miINT16 = 3,
  miUINT16 = 4,
  miINT32 = 5,
  miUINT32 = 6,
  miSINGLE = 7,
  miDOUBLE = 9,
  miINT64 = 12,
  miUINT64 = 13,
  miMATRIX = 14,
  miCOMPRESSED = 15,
  miUTF8 = 16,
  miUTF16 = 17,
  miUTF32 = 18,
};

// Array classes: the low byte of the array flags.
enum : uint32_t {
  kCell = 1,
  kStruct = 2,
  kObject = 3,
  kChar = 4,
  kSparse = 5,
  kDouble = 6,
  kUint64 = 15,
  kFunction = 16,
};
constexpr uint32_t kComplexFlag = 0x0800;

// Bytes of one value of a numeric data type; 0 for other types.
uint64_t NumericSize(uint32_t type) {
  switch (type) {
    case miINT8:
    case miUINT8: return 1;
    case miINT16:
    case miUINT16: return 2;
    case miINT32:
    case miUINT32:
    case miSINGLE: return 4;
    case miDOUBLE:
    case miINT64:
    case miUINT64: return 8;
    default: return 0;
  }
}

// The bytes of one top-level element: as they lie in the file, or inflated.
class Source {
 public:
  virtual ~Source() = default;
  // Exactly n bytes, or false.
  virtual bool Read(void* dst, size_t n) = 0;
  // Moves n bytes on, or false when fewer are left.
  virtual bool Skip(uint64_t n) = 0;
};

class RawSource final : public Source {
 public:
  RawSource(winport::File& file, uint64_t pos, uint64_t end) : file_(file), pos_(pos), end_(end) {}
  bool Read(void* dst, size_t n) override {
    if (n > end_ - pos_) return false;
    if (static_cast<uint64_t>(file_.Tell()) != pos_ && !file_.Seek(static_cast<int64_t>(pos_))) return false;
    if (!file_.ReadExact(dst, n)) return false;
    pos_ += n;
    return true;
  }
  bool Skip(uint64_t n) override {
    if (n > end_ - pos_) return false;
    pos_ += n;
    return true;
  }

 private:
  winport::File& file_;
  uint64_t pos_;
  uint64_t end_;
};

// The zlib stream of a compressed element, inflated as it is read, in
// buffers of fixed size.
class InflateSource final : public Source {
 public:
  InflateSource(winport::File& file, uint64_t pos, uint64_t end)
      : file_(file), pos_(pos), end_(end), in_(kChunk), scratch_(kChunk) {
    ok_ = inflateInit(&z_) == Z_OK;
  }
  ~InflateSource() override {
    if (ok_) inflateEnd(&z_);
  }
  InflateSource(const InflateSource&) = delete;
  InflateSource& operator=(const InflateSource&) = delete;

  bool Read(void* dst, size_t n) override {
    auto* out = static_cast<Bytef*>(dst);
    while (n > 0) {
      if (!ok_ || ended_) return false;
      if (z_.avail_in == 0 && !Refill()) return false;
      const uInt chunk = static_cast<uInt>(std::min<size_t>(n, UINT_MAX));
      z_.next_out = out;
      z_.avail_out = chunk;
      const int rc = inflate(&z_, Z_NO_FLUSH);
      if (rc == Z_STREAM_END)
        ended_ = true;
      else if (rc != Z_OK)
        return false;
      const size_t produced = chunk - z_.avail_out;
      out += produced;
      n -= produced;
    }
    return true;
  }
  bool Skip(uint64_t n) override {
    while (n > 0) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(n, scratch_.size()));
      if (!Read(scratch_.data(), chunk)) return false;
      n -= chunk;
    }
    return true;
  }

 private:
  static constexpr size_t kChunk = 64 * 1024;

  bool Refill() {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(end_ - pos_, in_.size()));
    if (n == 0) return false;
    RawSource raw(file_, pos_, end_);
    if (!raw.Read(in_.data(), n)) return false;
    pos_ += n;
    z_.next_in = in_.data();
    z_.avail_in = static_cast<uInt>(n);
    return true;
  }

  winport::File& file_;
  uint64_t pos_;
  uint64_t end_;
  std::vector<Bytef> in_;
  std::vector<Bytef> scratch_;
  z_stream z_{};
  bool ok_ = false;
  bool ended_ = false;
};

// Walks the elements of one array (miMATRIX) as libmatio reads them. Each
// function takes the bytes left in the enclosing array and consumes from them.
class Level5Walk {
 public:
  Level5Walk(Source& source, bool swap) : src_(source), swap_(swap) {}

  // The content of an array element of `size` bytes, all of it consumed.
  // Unbounded (a compressed variable), the size is not held against the
  // content: libmatio reads such a variable by its parts alone, and its own
  // writer gives UTF-8 text more bytes than the size it writes.
  bool Matrix(uint64_t size, int depth, bool emptyAllowed = false, bool bounded = true) {
    // A cell element of no bytes is an empty value; a variable of no bytes
    // makes libmatio read what follows it, a field of no bytes makes it drop
    // every field of the struct.
    if (size == 0) return depth > 1 && emptyAllowed;
    if (depth > kMaxDepth) return false;
    uint64_t left = bounded ? size : UINT64_MAX;
    const auto ends = [&] { return !bounded || left == 0; };
    Tag t;
    uint32_t flags, nzmax;
    if (!ReadTag(left, t) || t.small || t.type != miUINT32 || t.bytes != 8 || left < 8) return false;
    if (!Word(flags) || !Word(nzmax)) return false;
    left -= 8;
    // libmatio reads dimensions and name of every class, and sizes its
    // buffers from them.
    const uint32_t cls = flags & 0xFF;
    uint64_t count;
    if (!Dimensions(left, count) || !Name(left)) return false;
    switch (cls) {
      case kChar:
        return Data(left, count, true) && ends();
      case kStruct:
        return Struct(left, count, depth) && ends();
      case kObject:
        return Name(left) && Struct(left, count, depth) && ends();
      case kCell:
        return Children(left, count, depth, true) && ends();
      case kFunction:  // libmatio reads one array per element
        return Children(left, count, depth, false) && ends();
      case kSparse: {
        // Row indices, column starts, real and (complex) imaginary values,
        // never handed out: libmatio reads exactly these, wherever they lie,
        // and grows buffers with nzmax.
        if (nzmax > size) return false;
        const int parts = flags & kComplexFlag ? 4 : 3;
        for (int i = 0; i < parts; ++i)
          if (!ReadTag(left, t) || NumericSize(t.type) == 0 || !Body(left, t)) return false;
        return ends();
      }
      default:
        if (cls < kDouble || cls > kUint64) return !bounded || src_.Skip(left);  // no content libmatio reads
        return Data(left, count, false) && (!(flags & kComplexFlag) || Data(left, count, false)) && ends();
    }
  }

 private:
  struct Tag {
    uint32_t type = 0;
    uint64_t bytes = 0;
    bool small = false;  // type, size and up to 4 data bytes in 8 bytes
    uint8_t data[4] = {};
  };

  uint32_t Order(uint32_t v) const { return swap_ ? __builtin_bswap32(v) : v; }

  bool Word(uint32_t& v) {
    if (!src_.Read(&v, 4)) return false;
    v = Order(v);
    return true;
  }

  bool ReadTag(uint64_t& left, Tag& t) {
    uint8_t raw[8];
    if (left < 8 || !src_.Read(raw, 8)) return false;
    left -= 8;
    uint32_t w0, w1;
    std::memcpy(&w0, raw, 4);
    std::memcpy(&w1, raw + 4, 4);
    w0 = Order(w0);
    t.small = (w0 >> 16) != 0;
    if (t.small) {
      t.type = w0 & 0xFFFF;
      t.bytes = w0 >> 16;
      std::memcpy(t.data, raw + 4, 4);
      return t.bytes <= 4;
    }
    t.type = w0;
    t.bytes = Order(w1);
    return true;
  }

  // Skips the padding that follows `bytes` bytes of data to the next 8-byte
  // boundary; the last element of an array may go without it.
  bool Pad(uint64_t& left, uint64_t bytes) {
    const uint64_t pad = (8 - bytes % 8) % 8;
    if (left == 0) return true;
    if (pad > left || !src_.Skip(pad)) return false;
    left -= pad;
    return true;
  }

  // Skips the data of a normal element (a small one holds its own).
  bool Body(uint64_t& left, const Tag& t) {
    if (t.small) return true;
    if (t.bytes > left || !src_.Skip(t.bytes)) return false;
    left -= t.bytes;
    return Pad(left, t.bytes);
  }

  bool Dimensions(uint64_t& left, uint64_t& count) {
    Tag t;
    if (!ReadTag(left, t) || t.small || t.type != miINT32 || t.bytes % 4 != 0 || t.bytes < 8 || t.bytes > left)
      return false;
    count = 1;
    for (uint64_t i = 0; i < t.bytes / 4; ++i) {
      uint32_t d;
      if (!Word(d) || static_cast<int32_t>(d) < 0 || __builtin_mul_overflow(count, uint64_t{d}, &count)) return false;
    }
    left -= t.bytes;
    return Pad(left, t.bytes);
  }

  // The array's name, or an object's class name.
  bool Name(uint64_t& left) {
    Tag t;
    return ReadTag(left, t) && t.type == miINT8 && Body(left, t);
  }

  // One data element of `count` values: a numeric type with exactly as many
  // bytes as the values take; of a char array also UTF-8 (at least a byte a
  // character), UTF-16 and UTF-32. Present without values as well: libmatio
  // reads a data tag even then.
  bool Data(uint64_t& left, uint64_t count, bool text) {
    Tag t;
    if (!ReadTag(left, t)) return false;
    uint64_t size = NumericSize(t.type);
    if (text && t.type == miUTF16) size = 2;
    if (text && t.type == miUTF32) size = 4;
    if (text && t.type == miUTF8) {
      if (count > t.bytes) return false;  // each character takes a byte at least
    } else {
      uint64_t bytes;
      if (size == 0 || __builtin_mul_overflow(count, size, &bytes) || t.bytes != bytes) return false;
    }
    return Body(left, t);
  }

  // Field name length, field names, then elements x fields arrays.
  bool Struct(uint64_t& left, uint64_t count, int depth) {
    Tag t;
    uint32_t length;
    if (!ReadTag(left, t) || t.type != miINT32 || t.bytes != 4) return false;
    if (t.small) {
      std::memcpy(&length, t.data, 4);
      length = Order(length);
    } else {
      if (left < 8 || !Word(length)) return false;
      left -= 4;
      if (!Pad(left, 4)) return false;
    }
    if (length == 0) return false;
    if (!ReadTag(left, t) || t.type != miINT8 || t.bytes % length != 0 || !Body(left, t)) return false;
    uint64_t slots;
    if (__builtin_mul_overflow(count, t.bytes / length, &slots)) return false;
    return Children(left, slots, depth, false);
  }

  // `count` arrays, each in an miMATRIX element of its own whose size is a
  // whole number of 8-byte units (libmatio goes on right after it).
  bool Children(uint64_t& left, uint64_t count, int depth, bool emptyAllowed) {
    if (count > left / 8) return false;
    for (uint64_t i = 0; i < count; ++i) {
      Tag t;
      if (!ReadTag(left, t) || t.small || t.type != miMATRIX || t.bytes > left || t.bytes % 8 != 0) return false;
      if (!Matrix(t.bytes, depth + 1, emptyAllowed)) return false;
      left -= t.bytes;
    }
    return true;
  }

  Source& src_;
  bool swap_;
};

// libmatio takes a dataset's values into one buffer sized by its dataspace,
// and HDF5 (1.10) copies a compact dataset's bytes, which lie in its object
// header, without checking them against that dataspace. A dataset is sound
// when its stored bytes lie in the file and hold its values: exactly so when
// compact or contiguous, within zlib's largest ratio when chunked (filtered).
struct Hdf5Walk {
  uint64_t fileSize;
  bool sound = true;
};
constexpr uint64_t kMaxInflation = 1032;

bool DatasetSound(hid_t dataset, uint64_t fileSize) {
  const hid_t space = H5Dget_space(dataset);
  const hid_t type = H5Dget_type(dataset);
  const hid_t plist = H5Dget_create_plist(dataset);
  const hssize_t points = space >= 0 ? H5Sget_simple_extent_npoints(space) : -1;
  const size_t size = type >= 0 ? H5Tget_size(type) : 0;
  const H5D_layout_t layout = plist >= 0 ? H5Pget_layout(plist) : H5D_LAYOUT_ERROR;
  const uint64_t stored = H5Dget_storage_size(dataset);
  if (plist >= 0) H5Pclose(plist);
  if (type >= 0) H5Tclose(type);
  if (space >= 0) H5Sclose(space);
  uint64_t needed, most;
  if (points < 0 || size == 0 || __builtin_mul_overflow(static_cast<uint64_t>(points), uint64_t{size}, &needed))
    return false;
  if (needed == 0) return true;
  switch (layout) {
    case H5D_COMPACT:
    case H5D_CONTIGUOUS:
      return stored <= fileSize && stored >= needed;
    case H5D_CHUNKED:
      return stored <= fileSize && (__builtin_mul_overflow(stored, kMaxInflation, &most) || needed <= most);
    default:
      return false;
  }
}

herr_t CheckObject(hid_t object, const char* name, const H5O_info_t* info, void* data) {
  if (info->type != H5O_TYPE_DATASET) return 0;
  const hid_t dataset = H5Dopen2(object, name, H5P_DEFAULT);
  if (dataset < 0) return 0;  // read by no one
  auto& walk = *static_cast<Hdf5Walk*>(data);
  walk.sound = DatasetSound(dataset, walk.fileSize);
  H5Dclose(dataset);
  return walk.sound ? 0 : 1;  // 1 stops the visit
}

bool Hdf5Sound(const std::string& path, uint64_t fileSize) {
  static const bool quiet = [] { return H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr) >= 0; }();
  (void)quiet;
  const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  if (file < 0) return false;
  Hdf5Walk walk{fileSize};
  if (H5Ovisit2(file, H5_INDEX_NAME, H5_ITER_NATIVE, CheckObject, &walk, H5O_INFO_BASIC) < 0) walk.sound = false;
  H5Fclose(file);
  return walk.sound;
}

}  // namespace

bool LayoutCheck::Open(const std::string& path) {
  if (!file_.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite)) return false;
  size_ = static_cast<uint64_t>(std::max<int64_t>(file_.Size(), 0));
  format_ = MatFormat::kLevel4;
  pos_ = 0;
  uint8_t header[128];
  if (size_ < sizeof header || !file_.ReadExact(header, sizeof header)) return FirstLevel4();
  uint16_t version;
  if (header[126] == 'I' && header[127] == 'M') {
    swap_ = false;
    version = static_cast<uint16_t>(header[124] | header[125] << 8);
  } else if (header[126] == 'M' && header[127] == 'I') {
    swap_ = true;
    version = static_cast<uint16_t>(header[124] << 8 | header[125]);
  } else {
    return FirstLevel4();
  }
  if (version == 0x0100) {
    format_ = MatFormat::kLevel5;
    pos_ = sizeof header;
    return true;
  }
  if (version == 0x0200) {
    format_ = MatFormat::kHdf5;
    return Hdf5Sound(winport::AnsiToUtf8(path), size_);
  }
  return FirstLevel4();
}

// libmatio takes a file without a level-5 header for level 4 when it can
// read the first record's header, and reads its name while it opens.
bool LayoutCheck::FirstLevel4() {
  const bool sound = NextLevel4();
  pos_ = 0;
  return sound;
}

bool LayoutCheck::Next() {
  switch (format_) {
    case MatFormat::kLevel5: return NextLevel5();
    case MatFormat::kLevel4: return NextLevel4();
    case MatFormat::kHdf5: return true;
  }
  return false;
}

bool LayoutCheck::NextLevel5() {
  uint32_t tag[2];
  RawSource raw(file_, pos_, size_);
  if (!raw.Read(tag, sizeof tag)) return false;
  const uint32_t type = swap_ ? __builtin_bswap32(tag[0]) : tag[0];
  const uint64_t bytes = swap_ ? __builtin_bswap32(tag[1]) : tag[1];
  const uint64_t start = pos_ + 8;
  if (bytes > size_ - start) return false;
  pos_ = start + bytes;
  if (type == miMATRIX) {
    RawSource content(file_, start, start + bytes);
    return Level5Walk(content, swap_).Matrix(bytes, 1);
  }
  if (type != miCOMPRESSED) return false;
  InflateSource content(file_, start, start + bytes);
  uint32_t inner[2];
  if (!content.Read(inner, sizeof inner)) return false;
  const uint32_t innerType = swap_ ? __builtin_bswap32(inner[0]) : inner[0];
  const uint64_t innerBytes = swap_ ? __builtin_bswap32(inner[1]) : inner[1];
  return innerType == miMATRIX && Level5Walk(content, swap_).Matrix(innerBytes, 1, false, false);
}

// A level-4 record: a header of five 32-bit words (type MOPT, rows, columns,
// imaginary flag, name length), the name, then rows x columns values of type
// P, twice when complex. The type word tells the byte order (M 0: little,
// 1: big endian) and is read in either order, as libmatio does.
bool LayoutCheck::NextLevel4() {
  uint32_t words[5];
  RawSource raw(file_, pos_, size_);
  if (!raw.Read(words, sizeof words)) return false;
  int32_t type = static_cast<int32_t>(words[0]);
  if (type < 0 || type > 4052) type = static_cast<int32_t>(__builtin_bswap32(words[0]));
  if (type < 0 || type > 4052) return false;
  // T: 0 numeric, 1 text. A sparse record (2) is refused: libmatio sizes its
  // column table from a value stored in the record.
  const int m = type / 1000, o = type / 100 % 10, p = type / 10 % 10, t = type % 10;
  if (m > 1 || o != 0 || p > 5 || t > 1) return false;
  for (uint32_t& w : words)
    if (m == 1) w = __builtin_bswap32(w);
  const auto rows = static_cast<int32_t>(words[1]);
  const auto columns = static_cast<int32_t>(words[2]);
  const auto nameLength = static_cast<int32_t>(words[4]);
  if (rows < 0 || columns < 0 || nameLength < 1) return false;
  static constexpr uint64_t kSizes[] = {8, 4, 4, 2, 2, 1};
  uint64_t bytes;
  if (__builtin_mul_overflow(uint64_t(rows) * uint64_t(columns), kSizes[p] * (words[3] ? 2 : 1), &bytes))
    return false;
  const uint64_t left = size_ - pos_ - sizeof words;
  if (uint64_t(nameLength) > left || bytes > left - uint64_t(nameLength)) return false;
  pos_ += sizeof words + uint64_t(nameLength) + bytes;
  return true;
}

}  // namespace matlab
