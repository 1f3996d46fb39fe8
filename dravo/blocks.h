// The block store: every block of an open file kept in memory as an image in
// its on-disk layout, with the links between the images.
//
// An image holds the block's bytes as they stand in the file and is
// max(size field, the kind's default size) + 1 bytes long, zero-filled past
// the block, so that every field of the kind and every text lies inside it
// and ends in a zero. Each file position is read once; a later link to it
// reuses its image. A block's link records (one per link field of its kind)
// live with the block.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "dravo/filelayer.h"
#include "dravo/status.h"
#include "mdf/bytes.h"

namespace dravo {

// Little-endian loads and stores on images and records.
using mdf::LoadF64;
using mdf::LoadU16;
using mdf::LoadU32;
using mdf::LoadU64;
using mdf::StoreF64;
using mdf::StoreU16;
using mdf::StoreU32;
using mdf::StoreU64;

// Block kinds; the ID block (the 64-byte file header) is kind 0.
enum class BlockKind : uint8_t { Id, Hd, Tx, Pr, Tr, Dg, Cg, Cn, Cc, Ce, Cd, Unknown };

// Field offsets within the blocks, as far as the library uses them.
namespace layout {
constexpr uint32_t kHeadSize = 4;  // 2-character id, UINT16 size
namespace id {
constexpr uint32_t kFileId = 0, kFormatId = 8, kProgramId = 16, kByteOrder = 24, kFloatFormat = 26,
                   kVersion = 28, kReserved = 32, kSize = 64;
}
namespace hd {
constexpr uint32_t kFirstDg = 4, kComment = 8, kProgram = 12, kDgCount = 16, kDate = 18, kTime = 28,
                   kAuthor = 36, kOrganisation = 68, kProject = 100, kSubject = 132;
constexpr uint32_t kDateChars = 10, kTimeChars = 8, kNameChars = 32;
}  // namespace hd
namespace tx {
constexpr uint32_t kText = 4;
}
namespace tr {
constexpr uint32_t kComment = 4, kCount = 8, kEntries = 10, kEntrySize = 24;
}
namespace dg {
constexpr uint32_t kNext = 4, kFirstCg = 8, kTrigger = 12, kData = 16, kCgCount = 20, kRecordIds = 22;
}
namespace cg {
constexpr uint32_t kNext = 4, kFirstCn = 8, kComment = 12, kRecordId = 16, kCnCount = 18, kRecordSize = 20,
                   kRecordCount = 22;
}
namespace cn {
constexpr uint32_t kNext = 4, kConversion = 8, kExtension = 12, kDependency = 16, kComment = 20,
                   kChannelType = 24, kName = 26, kDescription = 58, kStartBit = 186, kBits = 188,
                   kDataType = 190, kRangeValid = 192, kMin = 194, kMax = 202, kSampleRate = 210,
                   kByteOffset = 226;
constexpr uint32_t kNameChars = 32, kDescriptionChars = 128;
}  // namespace cn
namespace cc {
constexpr uint32_t kRangeValid = 4, kMinPhys = 6, kMaxPhys = 14, kUnit = 22, kType = 42, kCount = 44,
                   kParams = 46;
constexpr uint32_t kUnitChars = 20, kFormulaChars = 256;
constexpr uint32_t kPairSize = 16, kTextEntrySize = 40, kRangeEntrySize = 20;
}  // namespace cc
}  // namespace layout

// Channel types and data types the library tells apart.
constexpr uint16_t kChannelTypeTime = 1;
constexpr uint16_t kDataTypeUnsigned = 0, kDataTypeSigned = 1, kDataTypeFloat = 2, kDataTypeDouble = 3,
                   kDataTypeVaxF = 4, kDataTypeVaxG = 5, kDataTypeVaxD = 6, kDataTypeString = 7,
                   kDataTypeBytes = 8, kDataTypeUnsignedMotorola = 9, kDataTypeSignedMotorola = 10,
                   kDataTypeFloatMotorola = 11, kDataTypeDoubleMotorola = 12, kDataTypeUnsignedIntel = 13,
                   kDataTypeSignedIntel = 14, kDataTypeFloatIntel = 15, kDataTypeDoubleIntel = 16;

// Conversion types.
constexpr uint16_t kConvLinear = 0, kConvTableInterp = 1, kConvTable = 2, kConvPolynomial = 6,
                   kConvExponential = 7, kConvLogarithmic = 8, kConvRational = 9, kConvFormula = 10,
                   kConvTextTable = 11, kConvTextRange = 12, kConvIdentity = 65535;

// The kind's default size: what MdfCreateBlock makes and the least an image holds.
uint32_t DefaultBlockSize(BlockKind kind);
// The kind named by a block's 2-character id.
BlockKind KindOfId(const uint8_t* head);

struct MdfBlock;

// The link record of one link field.
struct LinkRecord {
  uint32_t field = 0;              // offset of the link field in its block
  uint32_t value = 0;              // the file position the field held when registered, or set later
  MdfBlock* resolved = nullptr;    // null until resolved
};

// A block record with its image.
struct MdfBlock {
  BlockKind kind = BlockKind::Unknown;
  uint32_t level = 0;            // the library's use count when made
  uint32_t source = 0;           // the file it was read from; 0 for an image made in memory
  uint32_t readPosition = 0;     // 0 for an image made in memory
  uint32_t writtenPosition = 0;  // 0 until written
  bool walked = false;           // processed by the structure read (floats converted, children read)
  uint32_t length = 0;           // bytes of the block in the file: its size field, or an escaped PR's length
  std::vector<uint8_t> image;
  std::unique_ptr<std::vector<uint8_t>> saved;  // MdfSaveBlock's copy
  std::array<LinkRecord, 5> links{};
  uint8_t linkCount = 0;

  uint8_t* Data() { return image.data(); }
  const uint8_t* Data() const { return image.data(); }
  // Bytes of the block: its size field (64 for the ID block, the escaped length of a PR block).
  uint32_t Size() const { return length; }
  // Bounded field access: a field that does not lie wholly inside the image reads 0.
  bool Holds(uint32_t offset, uint32_t bytes) const {
    return bytes <= image.size() && offset <= image.size() - bytes;
  }
  uint16_t U16(uint32_t offset) const { return Holds(offset, 2) ? LoadU16(Data() + offset) : 0; }
  uint32_t U32(uint32_t offset) const { return Holds(offset, 4) ? LoadU32(Data() + offset) : 0; }
  double F64(uint32_t offset) const { return Holds(offset, 8) ? LoadF64(Data() + offset) : 0.0; }
  void SetU16(uint32_t offset, uint16_t v) {
    if (Holds(offset, 2)) StoreU16(Data() + offset, v);
  }
  void SetU32(uint32_t offset, uint32_t v) {
    if (Holds(offset, 4)) StoreU32(Data() + offset, v);
  }
  void SetF64(uint32_t offset, double v) {
    if (Holds(offset, 8)) StoreF64(Data() + offset, v);
  }
  // A fixed-width character field as text, up to its first zero.
  std::string Text(uint32_t offset, uint32_t width) const;
  // Copies at most `width` characters of `text` into the field, zero-padded.
  void SetText(uint32_t offset, uint32_t width, const std::string& text);
  // The text of a TX block: its body up to the first zero.
  std::string BodyText() const { return Text(layout::kHeadSize, Size() > 4 ? Size() - 4 : 0); }
  LinkRecord* FindLink(uint32_t field);
};

// All block records of the library, with an index by the file position each was read from.
class BlockStore {
 public:
  MdfBlock* Find(uint32_t source, uint32_t position) const;
  // Takes ownership; `readPosition` and `source` are set by the caller.
  MdfBlock* Add(std::unique_ptr<MdfBlock> block);
  bool Contains(const MdfBlock* block) const { return blocks_.count(block) != 0; }
  // Unlinks and frees a block record with its image; false when it is not in the store.
  bool Remove(MdfBlock* block);
  // Frees every block record made at `level` or above; links of the others that
  // resolved to them are cleared.
  void Release(uint32_t level);
  // Charges image bytes read from a file against a budget tied to the file's
  // size; false when the file's blocks would need more memory than that.
  bool Charge(const MdfFileHandle& source, size_t bytes);
  size_t Count() const { return blocks_.size(); }

 private:
  static uint64_t Key(uint32_t source, uint32_t position) { return (uint64_t{source} << 32) | position; }
  std::unordered_map<const MdfBlock*, std::unique_ptr<MdfBlock>> blocks_;
  std::unordered_map<uint64_t, MdfBlock*> byPosition_;
  std::unordered_map<uint32_t, uint64_t> charged_;
};

// ---- Reading ----

// The 64-byte file header at position 0: "MDF" and bytes 32 and 33 zero, else -2004.
MdfStatus MdfReadIdBlock(MdfFileHandle& handle, MdfBlock** out);
// The block at `position` (0: none, status 0). A position read before gives
// the same image; a size field below 4 gives -2004. A PR block whose size
// field is 0xFFFF and whose data begin with a 32-bit length and the text
// "SpecialJobData" or "Nuvesto 4.0" is that long.
MdfStatus MdfReadBlock(MdfFileHandle& handle, uint32_t position, MdfBlock** out);

// ---- Links ----

// The block a link field points to; null for a link holding 0 (no report).
// -2009 for a field without link record, -2008 when no block was read at the position.
MdfStatus MdfResolveLink(MdfBlock& block, uint32_t field, MdfBlock** out);
// Sets a field's link value and resolved block.
MdfStatus MdfSetLink(MdfBlock& block, uint32_t field, uint32_t value, MdfBlock* target);
// Writes into the field where `target` stands in the file (written, else read
// position); null writes 0.
MdfStatus MdfUpdateLinkTo(MdfBlock& block, uint32_t field, MdfBlock* target);
// MdfUpdateLinkTo with the block the field resolves to.
MdfStatus MdfUpdateLink(MdfBlock& block, uint32_t field);

// ---- Writing ----

// Writes the block at the file's current position, which becomes its written position.
MdfStatus MdfAppendBlock(MdfFileHandle& handle, MdfBlock* block);
// Writes the block back where it was written (else read) and returns to the position before.
MdfStatus MdfRewriteBlock(MdfFileHandle& handle, MdfBlock* block);

// ---- Copies and new blocks ----

MdfStatus MdfSaveBlock(MdfBlock& block);
MdfStatus MdfRestoreBlock(MdfBlock& block);
MdfStatus MdfDeleteBlock(MdfBlock* block);
MdfStatus MdfCloneBlock(MdfBlock** out, const MdfBlock& block);
// A zero-filled block of the kind's default size with id and size set (the
// ID block: 64 bytes, no id).
MdfStatus MdfCreateBlock(BlockKind kind, MdfBlock** out);
// A TX block holding the first `length` characters of `text` and a zero.
MdfStatus MdfCreateTextBlock(MdfBlock** out, size_t length, const std::string& text);
MdfStatus MdfCreateConversionBlock(MdfBlock** out, uint16_t type, uint16_t count);
MdfStatus MdfCreateTriggerBlock(MdfBlock** out, uint16_t count);

}  // namespace dravo
