// The progress window of the import: a small modeless window with a stage
// caption, the number of steps, the module's version and an owner-drawn
// percentage bar, which the user cancels with "Abbrechen" or the Esc key.
//
// The importer owns the record that describes a window, steps it and polls
// the module-wide cancel flag after each step:
//
//   ProgressRecord progress;
//   CreateProgressWindow(total, "Time Gruppe 1", progress, kModuleVersion);
//   for (...) { StepProgress(i, progress); if (ProgressCancelled()) break; }
//   DestroyProgressWindow(progress);
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/dialog.h"

namespace dravo {

class CProgressDialog;

struct ProgressRecord {
  ProgressRecord();
  ~ProgressRecord();
  ProgressRecord(const ProgressRecord&) = delete;
  ProgressRecord& operator=(const ProgressRecord&) = delete;

  uint64_t total = 0;        // steps when the window was created
  uint32_t lastTick = 0;     // tick of the last bar update; 0 until the window is initialised
  uint32_t interval = 0;     // milliseconds between bar updates
  double pixelsPerStep = 0;  // bar width / total (a total of 0 counts as 1)
  int32_t barWidth = 0;      // client width of the bar in pixels
  uint32_t position = 0;     // bar position in pixels
  std::string text;          // at most 63 characters: the caption, then "N = <total>"
  uint32_t version = 0;      // major version * 256 + minor
  HWND window = nullptr;
  std::unique_ptr<CProgressDialog> dialog;
};

// Control ids of the window.
inline constexpr int kProgressBar = 110;
inline constexpr int kProgressCount = 105;
inline constexpr int kProgressVersion = 201;
inline constexpr int kProgressCancel = IDCANCEL;
inline constexpr int kMaxProgressText = 63;

// Clears the cancel flag and the record, and shows the window "IOZUST" owned
// by the active window. The bar is re-evaluated every 500 ms for totals above
// 10,000, else every 100 ms.
void CreateProgressWindow(uint64_t total, const std::string& text, ProgressRecord& record, uint32_t version);
// The bar back to 0 and the window's caption to `text` (kept when empty).
void SetProgressText(const std::string& text, ProgressRecord& record);
// Takes one pending message of the window (Esc or a click on "Abbrechen" sets
// the cancel flag), and once the interval has passed moves the bar to `step`,
// repainting it when its whole percentage changed.
void StepProgress(uint64_t step, ProgressRecord& record);
void DestroyProgressWindow(ProgressRecord& record);

// The module-wide cancel flag, set by the user and cleared at creation.
bool ProgressCancelled();

// What the bar shows: the whole percentage of `position` in `barWidth` (0
// when the width is 0), its label "<percent>%", and how many of the
// control's `clientWidth` pixels are filled (blue, the label over them in
// the window colour; the rest in the window colour with a blue label).
inline constexpr COLORREF kProgressBlue = 0xFF0000;
struct BarDrawing {
  int percent = 0;
  std::string label;
  int32_t filled = 0;
};
BarDrawing DrawBar(uint32_t position, int32_t barWidth, int32_t clientWidth);

// The percentage the bar was last drawn with, shared by every window.
int LastDrawnPercent();

class CProgressDialog : public CDialog {
 public:
  explicit CProgressDialog(ProgressRecord& record);
  ~CProgressDialog() override;

  BOOL OnInitDialog() override;
  BOOL OnCommand(int id, UINT code) override;
  void OnCancel() override;
  // Paints the bar from the record: the filled part with the bar brush, the
  // rest with the background brush, and the label centred over both, in the
  // window colour over the filled part and in blue over the rest.
  BOOL OnDrawItem(int id, DRAWITEMSTRUCT* item) override;

 private:
  ProgressRecord& m_record;
  HBRUSH m_barBrush = nullptr;         // blue
  HBRUSH m_backgroundBrush = nullptr;  // the window colour
};

// The window of the newest progress record while it is shown, else null:
// for tests that press its keys.
CProgressDialog* CurrentProgressWindow();

}  // namespace dravo
