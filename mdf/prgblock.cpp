#include "mdf/prgblock.h"

#include <algorithm>
#include <cstring>

#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/rows.h"
#include "platform/win32/file.h"

namespace mdf {

namespace {

// Entry layouts of the special-job payload (offsets within an entry).
constexpr size_t kSjCountOffset = 18;
constexpr size_t kSjName = 14, kSjNameRoom = 200, kSjUnit = 214, kSjUnitRoom = 151;
constexpr size_t kSjScalarSize = 373, kSjScalarValue = 365;
constexpr size_t kSjCurveBytes = 365, kSjCurveHead = 367;
constexpr size_t kSjMapNx = 365, kSjMapNy = 367, kSjMapHead = 369;
constexpr size_t kSjLabelRoom = 250, kSjText = 264;
constexpr size_t kSjFaultTextRoom = 101, kSjFaultBytes = 365, kSjFaultHead = 367;
constexpr size_t kSjJobTextRoom = 122, kSjJobBytes = 386, kSjJobHead = 388;
constexpr size_t kSjBytesPerRow = 40;

// The payload up to `limit`: every read is checked against it.
class Payload {
 public:
  Payload(const uint8_t* data, size_t limit) : data_(data), limit_(limit) {}
  bool Has(uint64_t offset, uint64_t n) const { return offset <= limit_ && n <= limit_ - offset; }
  uint16_t U16(size_t offset) const { return LoadU16(data_ + offset); }
  double F64(size_t offset) const { return LoadF64(data_ + offset); }
  uint8_t Byte(size_t offset) const { return data_[offset]; }
  std::string Text(size_t offset, size_t room) const { return FixedText(data_ + offset, room); }

 private:
  const uint8_t* data_;
  size_t limit_;
};

std::string HexBytes(const Payload& pl, size_t at, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ',';
    s += StrFormat("%02X", pl.Byte(at + i));
  }
  return s;
}

// The rows of a special-job payload. `length` is the length the rows are given
// (the program block's length, or the old data size); `available` is how many
// bytes `data` really holds. Reading stops at the first entry that would end
// beyond either.
void AddSpecialJobRows(IListControl& list, const uint8_t* data, size_t available, uint64_t length) {
  if (length < 20) return;
  const Payload pl(data, static_cast<size_t>(std::min<uint64_t>(length, available)));
  size_t p = kSjCountOffset;
  // Reads a section's count and writes its row; false when the count lies beyond the payload.
  auto section = [&](const char* label, uint16_t& count) {
    if (!pl.Has(p, 2)) return false;
    count = pl.U16(p);
    p += 2;
    AddRow(list, label, StrFormat("N = %d", count));
    return true;
  };
  auto name = [&](size_t entry) { return pl.Text(entry + kSjName, kSjNameRoom); };
  auto unit = [&](size_t entry) { return pl.Text(entry + kSjUnit, kSjUnitRoom); };

  uint16_t n = 0;
  if (!section("Skalare", n)) return;
  for (uint16_t i = 0; i < n; ++i, p += kSjScalarSize) {
    if (!pl.Has(p, kSjScalarSize)) return;
    AddRow(list, name(p),
           StrFormat("%.15lf [%s]", pl.F64(p + kSjScalarValue), unit(p).c_str()));
  }

  if (!section("Kennlinien", n)) return;
  for (uint16_t i = 0; i < n; ++i) {
    if (!pl.Has(p, kSjCurveHead)) return;
    const size_t bytes = pl.U16(p + kSjCurveBytes);
    const size_t size = kSjCurveHead + 2 * bytes;
    if (!pl.Has(p, size)) return;
    std::string value = "{";
    for (size_t k = 0; k < bytes / 8; ++k) {
      if (k) value += '|';
      value += StrFormat("%.2lf,%.2lf", pl.F64(p + kSjCurveHead + 8 * k),
                         pl.F64(p + kSjCurveHead + bytes + 8 * k));
    }
    AddRow(list, name(p), value + "} [" + unit(p) + "]");
    p += size;
  }

  if (!section("Kennfelder", n)) return;
  for (uint16_t i = 0; i < n; ++i) {
    if (!pl.Has(p, kSjMapHead)) return;
    const uint64_t nx = pl.U16(p + kSjMapNx), ny = pl.U16(p + kSjMapNy);
    const uint64_t size = kSjMapHead + 8 * (nx * ny + nx + ny);
    if (!pl.Has(p, size)) return;
    std::string value = "{";
    for (uint64_t k = 0; k < nx * ny; ++k) {
      if (k) value += '|';
      value += StrFormat("%.2lf", pl.F64(p + kSjMapHead + 8 * k));
    }
    AddRow(list, name(p), value + "} [" + unit(p) + "]");
    p += size;
  }

  if (!section("Fehlerspeicher", n)) return;
  for (uint16_t i = 0; i < n; ++i) {
    if (!pl.Has(p, kSjFaultHead)) return;
    const size_t bytes = pl.U16(p + kSjFaultBytes);
    if (!pl.Has(p, kSjFaultHead + bytes)) return;
    // Long byte lists go on in rows of their own, 40 bytes each.
    std::string label = pl.Text(p + kSjName, kSjLabelRoom);
    std::string value = StrFormat("[%d,%d,%s] = {", pl.U16(p), pl.U16(p + 4),
                                  pl.Text(p + kSjText, kSjFaultTextRoom).c_str());
    for (size_t k = 0; k < bytes; ++k) {
      value += StrFormat("%02X", pl.Byte(p + kSjFaultHead + k));
      if (k + 1 < bytes) value += ',';
      if ((k + 1) % kSjBytesPerRow == 0 && k + 1 < bytes) {
        AddRow(list, label, value);
        label = value = "    ";
      }
    }
    AddRow(list, label, value + "}");
    p += kSjFaultHead + bytes;
  }

  if (!section("Allgemeine Jobs", n)) return;
  for (uint16_t i = 0; i < n; ++i) {
    if (!pl.Has(p, kSjJobHead)) return;
    const size_t bytes = pl.U16(p + kSjJobBytes);
    if (!pl.Has(p, kSjJobHead + bytes)) return;
    AddRow(list, pl.Text(p + kSjName, kSjLabelRoom),
           StrFormat("(Job %d: Typ = %d, %s) = {", pl.U16(p), pl.U16(p + 4),
                     pl.Text(p + kSjText, kSjJobTextRoom).c_str()) +
               HexBytes(pl, p + kSjJobHead, bytes) + "}");
    p += kSjJobHead + bytes;
  }
}

}  // namespace

CPrgBlock::CPrgBlock(CMdf* mdf) : CMdfBlock("CPrgBlock") {
  m_pMdf = mdf;
  m_blockLength = 4;
}

bool CPrgBlock::Read(winport::File& file) {
  m_data.clear();
  m_nuvesto = false;
  m_version = 0;
  if (!TakePosition(file)) return false;
  // The block is optional: one past the end of the file is read as having no
  // data; a block of another kind in its place is damage.
  if (!file.ReadExact(m_head, 4)) return false;
  if (!CheckIdentifier("PR", m_head)) return false;
  uint32_t length = LoadU16(m_head + 2);
  const int64_t afterHead = file.Tell();

  // Peek at what follows the head: the 32-bit length of the escape and the
  // writer's signature.
  uint8_t peek[20] = {};
  const size_t peeked = file.Read(peek, sizeof peek);
  file.Seek(afterHead);
  if (length == kEscapeLength) {
    const bool special = peeked >= 20 && FixedText(peek + 4, 16) == kSpecialJobSignature;
    const bool nuvesto = peeked >= 15 && std::memcmp(peek + 4, kNuvestoSignature, 11) == 0;
    if (special || nuvesto) length = LoadU32(peek);
    m_nuvesto = nuvesto;
  } else if (peeked >= 15 && std::memcmp(peek + 4, kNuvestoSignature, 11) == 0) {
    m_nuvesto = true;
  }

  // The data must lie within the file, and the signature within the data.
  if (length < 4) length = 4;
  if (length < 4 + 4 + std::strlen(kNuvestoSignature)) m_nuvesto = false;
  const int64_t available = file.Size() - afterHead;
  if (static_cast<int64_t>(length) - 4 > available) {
    m_dataLength = length;
    m_blockLength = length;
    return false;
  }
  m_dataLength = length;
  m_blockLength = length;
  m_data.resize(length - 4);
  if (!file.ReadExact(m_data.data(), m_data.size())) {
    m_data.clear();
    return false;
  }

  if (GetDataText() == kTimeStampSignature && m_data.size() >= 42 &&
      std::memcmp(m_data.data() + 32, "Version  3", 10) == 0) {
    const std::string number = FixedText(m_data.data() + 41, m_data.size() - 41);
    m_version = StrToDouble(number.c_str(), nullptr);
  }
  return true;
}

std::string CPrgBlock::GetDataText() const { return FixedText(m_data.data(), m_data.size()); }

bool CPrgBlock::IsSpecialJobData() const {
  return !m_data.empty() && GetDataText() == kSpecialJobSignature;
}

const uint8_t* CPrgBlock::GetSpecialJobData() const {
  return m_data.size() > 18 ? m_data.data() + 18 : nullptr;
}

size_t CPrgBlock::GetSpecialJobDataSize() const { return m_data.size() > 18 ? m_data.size() - 18 : 0; }

void CPrgBlock::Display(IListControl& list) {
  list.DeleteAllItems();
  ResetInfoColumns(list);
  AddRow(list, "File Pos.", DecHex(static_cast<uint32_t>(m_filePos)));
  AddRow(list, "Block length", DecHex(m_blockLength));
  if (!m_data.empty()) {
    const int dataRow = list.InsertItem(list.GetItemCount(), "Data");
    const bool viewer = m_pMdf && m_pMdf->GetProfile() == MdfProfile::Viewer;
    const std::string text = GetDataText();
    if (m_nuvesto && !viewer) {
      AddNuvestoRows(list);
    } else if (!m_nuvesto && text == kTimeStampSignature) {
      list.SetItemText(dataRow, 1, text);
      AddTimeStampRows(list);
    } else if (!m_nuvesto && text == kSpecialJobSignature) {
      AddSpecialJobRows(list, m_data.data(), m_data.size(), m_blockLength);
    } else {
      std::string dump;
      dump.reserve(3 * m_data.size());
      for (uint8_t b : m_data) dump += StrFormat("%02x ", b);
      list.SetItemText(dataRow, 1, dump);
    }
  }
  list.SetColumnWidth(1, IListControl::kAutoSize);
}

void CPrgBlock::AddTimeStampRows(IListControl& list) const {
  const size_t size = m_data.size();
  AddRow(list, "Version", size > kVersionOffset
                              ? FixedText(m_data.data() + kVersionOffset,
                                          std::min<size_t>(kVersionSize, size - kVersionOffset))
                              : std::string());
  for (size_t off = kRecordsOffset; off + TimeInfoRecord::kSize <= size; off += TimeInfoRecord::kSize) {
    const uint8_t* r = m_data.data() + off;
    AddRow(list, StrFormat("time grp %d", LoadI32(r)),
           StrFormat("Min=%g  Max=%g Fac=%g Ofs=%g MinD=%g MaxD=%g flag=%d", LoadF64(r + 4),
                     LoadF64(r + 12), LoadF64(r + 20), LoadF64(r + 28), LoadF64(r + 36),
                     LoadF64(r + 44), LoadI32(r + 52)));
  }

  // The data of the program block this one replaced, kept where the file says.
  if (!m_pMdf) return;
  const int64_t oldPos = m_pMdf->GetOldPrDataPosition();
  const int64_t oldSize = m_pMdf->GetOldPrDataSize();
  if (oldPos <= 0 || oldSize <= 0) return;
  winport::File own;
  winport::File* file = &m_pMdf->GetFile();
  if (!m_pMdf->IsOpen()) {
    if (!own.Open(m_pMdf->GetPath(), winport::FileAccess::Read, winport::FileShare::Read)) return;
    file = &own;
  }
  const int64_t fileSize = file->Size();
  if (oldPos >= fileSize) return;
  std::vector<uint8_t> old(static_cast<size_t>(std::min(oldSize, fileSize - oldPos)));
  if (!file->Seek(oldPos)) return;
  old.resize(file->Read(old.data(), old.size()));
  if (old.empty()) return;
  AddRow(list, "Data", FixedText(old.data(), std::min<size_t>(old.size(), 16)));
  AddSpecialJobRows(list, old.data(), old.size(), static_cast<uint64_t>(oldSize));
}

// "Nuvesto 4.0" data: 4 bytes, the identification text with its NUL padding,
// 4 bytes, the INT32 text length and the text of "name, value" lines.
void CPrgBlock::AddNuvestoRows(IListControl& list) const {
  const uint8_t* d = m_data.data();
  const size_t size = m_data.size();
  if (size < 4) return;
  size_t idEnd = 4;
  while (idEnd < size && d[idEnd] != 0) ++idEnd;
  AddRow(list, "ID", std::string(reinterpret_cast<const char*>(d) + 4, idEnd - 4));

  // The padding ends at the first byte that is not NUL; the 4 bytes before the
  // length follow it. Where those 4 bytes are NUL themselves they belong to
  // the padding as far as can be seen, and the length follows the NULs.
  size_t p = idEnd;
  while (p < size && d[p] == 0) ++p;
  size_t start = 0, length = 0;
  auto textAt = [&](size_t lengthPos) {
    if (lengthPos > size || size - lengthPos < 4) return false;
    const int32_t n = LoadI32(d + lengthPos);
    if (n < 0 || static_cast<size_t>(n) > size - lengthPos - 4) return false;
    start = lengthPos + 4;
    length = static_cast<size_t>(n);
    return true;
  };
  if (!textAt(p + 4) && !textAt(p)) return;

  const std::string text(reinterpret_cast<const char*>(d) + start, length);
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t comma = text.find(',', pos);
    if (comma == std::string::npos) break;
    const size_t valueStart = std::min(comma + 2, text.size());
    size_t end = text.find('\n', valueStart);
    const bool last = end == std::string::npos;
    if (last) end = std::min(text.find(';', valueStart), text.size());
    AddRow(list, text.substr(pos, comma - pos), text.substr(valueStart, end - valueStart));
    if (last) break;
    pos = end + 1;
  }
}

}  // namespace mdf
