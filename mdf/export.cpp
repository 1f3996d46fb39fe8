// Comma-separated export of a data group's records, formatted as the grid
// shows them, with the user's list separator and decimal sign.
#include <string>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/messages.h"
#include "platform/ui/filedialog.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"
#include "platform/win32/file.h"
#include "platform/win32/profile.h"

namespace mdf {
namespace {

// Hands the waiting messages of the caller's queue on, so its windows stay alive.
void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// The first character of a WIN.INI "intl" setting.
char IntlSetting(const char* key, const char* fallback) {
  char buffer[8] = {};
  GetProfileStringA("intl", key, fallback, buffer, sizeof buffer);
  return buffer[0] ? buffer[0] : fallback[0];
}

// A cell as a spreadsheet reads it back: quoted, with its quotes doubled, when
// it holds the separator, a quote or a line break.
std::string CsvCell(std::string text, char separator, bool alwaysQuoted = false) {
  if (!alwaysQuoted && text.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

// Lines gathered into large writes; remembers whether every write succeeded.
class CsvWriter {
 public:
  explicit CsvWriter(winport::File& file) : file_(file) {}
  void Add(const std::string& line) {
    pending_ += line;
    if (pending_.size() >= kChunk) Flush();
  }
  // Writes what is pending and closes the file; false when anything failed.
  bool Finish() {
    Flush();
    return file_.Close() && ok_;
  }

 private:
  static constexpr size_t kChunk = size_t{1} << 20;
  void Flush() {
    if (ok_ && !pending_.empty()) ok_ = file_.WriteExact(pending_.data(), pending_.size());
    pending_.clear();
  }
  winport::File& file_;
  std::string pending_;
  bool ok_ = true;
};

// Closes the file object's stream again when the export ends.
class StreamScope {
 public:
  explicit StreamScope(CMdf* mdf) : mdf_(mdf), opened_(mdf && !mdf->IsOpen() && mdf->OpenForReading()) {}
  ~StreamScope() {
    if (opened_) mdf_->CloseFile();
  }

 private:
  CMdf* mdf_;
  bool opened_;
};

}  // namespace

int CDataBlock::ExportCsv() {
  CFileDialog dialog(FALSE, "csv", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "CSV-Datei (*.csv)||");
  if (dialog.DoModal() != IDOK) return 0;
  const std::string path = dialog.GetPathName();

  const char decimal = IntlSetting("sDecimal", ".");
  // A list separator equal to the decimal sign (as both defaults are) would
  // run into every decimal point: ';' stands in for it.
  char separator = IntlSetting("sList", ".");
  if (separator == decimal) separator = ';';

  PumpMessages();
  CWaitCursor wait;
  winport::File out;
  if (!out.Open(path, winport::FileAccess::Write, winport::FileShare::Read,
                winport::FileDisposition::CreateAlways)) {
    ShowMessageBox(Ansi("Kann die Textdatei nicht erzeugen!"), MB_OK);
    return 0;
  }
  PumpMessages();

  std::vector<CCNBlock*> channels;
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  if (cg)
    for (CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) channels.push_back(cn);

  CsvWriter writer(out);
  std::string line;
  auto writeLine = [&](auto cellOf) {
    line.clear();
    for (size_t k = 0; k < channels.size(); ++k) {
      if (k > 0) line += separator;
      line += cellOf(k);
    }
    line += '\n';
    writer.Add(line);
  };
  writeLine([&](size_t k) { return CsvCell(channels[k]->GetSignalName(), separator); });
  writeLine([&](size_t k) { return CsvCell(channels[k]->GetAsamName(), separator, true); });
  writeLine([&](size_t k) {
    const CCCBlock* cc = channels[k]->GetConversion();
    const std::string unit = cc ? cc->GetUnit() : std::string();
    return unit.empty() ? std::string("-") : CsvCell(unit, separator);
  });

  // Every record is read once and all its channels decoded in one pass; the
  // cells are the grid's.
  StreamScope stream(m_pFile);
  const uint32_t records = cg ? cg->GetNumberOfRecords() : 0;
  const uint32_t length = GetRecordLength();
  ReadGroupChunks(channels, true, 0, records,
                  [&](uint32_t, std::span<const uint8_t> chunk, std::span<const std::span<double>> values) {
                    const size_t n = length ? chunk.size() / length : 0;
                    for (size_t i = 0; i < n; ++i) {
                      const uint8_t* record = chunk.data() + i * length;
                      writeLine([&](size_t k) {
                        std::string cell = FormatCell(*channels[k], values[k].empty() ? 0.0 : values[k][i], record);
                        for (char& c : cell)
                          if (c == '.') c = decimal;
                        return CsvCell(std::move(cell), separator);
                      });
                    }
                  });
  if (!writer.Finish()) {
    ShowMessageBox(StrFormat(Ansi("Fehler beim Schreiben der Datei %s!").c_str(), path.c_str()), MB_OK | MB_ICONERROR);
    return 0;
  }
  ShowMessageBox(StrFormat(Ansi("Die Datei %s wurde erfolgreich exportiert!").c_str(), path.c_str()), MB_OK);
  return 1;
}

}  // namespace mdf
