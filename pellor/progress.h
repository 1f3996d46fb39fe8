// The progress window of long imports and the sampling-period dialog.
//
// CIOZustand is the one modeless progress window of the module: a group line
// with a bar, a signal line with a bar, the version line and Cancel. The
// importing code drives it through ProgressOpen, ProgressSetSignal,
// ProgressStep and ProgressClose, and polls ProgressAborted: Escape pressed in
// the window or Cancel stops the import. CEditFrq asks the user to confirm or
// change the sampling period proposed for a group whose time channel could
// not be repaired.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/dialog.h"

namespace pellor {

// The progress record of one import, zeroed by ProgressOpen.
struct ProgressRecord {
  uint32_t lastUpdate = 0;  // tick of the last update; 0: the window is not initialised yet
  int32_t interval = 0;     // milliseconds between signal-bar updates
  double groupShare = 0;    // 1 / number of groups (0 without groups)
  double whole = 1.0;
  int32_t currentGroup = 0, groups = 0;
  uint32_t currentItem = 0, totalItems = 0;
  std::string title;
  int32_t version = 0;
};

class CIOZustand : public CDialog {
 public:
  static constexpr int kDialogId = 206;
  static constexpr int kGroupText = 202, kGroupBar = 205, kSignalText = 207, kSignalBar = 210, kVersionText = 212;

  CIOZustand();

  BOOL OnInitDialog() override;
  void OnCancel() override;

  ProgressRecord* m_pRecord = nullptr;
};

// The module's progress window.
CIOZustand& ProgressWindow();
// Set by Escape or Cancel in the window (and by closing it); the importing code clears it before an import.
bool ProgressAborted();
void SetProgressAborted(bool aborted);

void ProgressOpen(int32_t groups, const std::string& title, ProgressRecord& record, int32_t version);
void ProgressSetSignal(uint32_t items, const std::string& text, ProgressRecord& record);
// Polls the window's messages; `signalMode` moves the signal bar to `value`
// of the line's items, otherwise `value` is the current group.
void ProgressStep(uint32_t value, ProgressRecord& record, bool signalMode);
void ProgressClose(ProgressRecord& record);

// "%ld GB", "%ld MB" or "%ld KB" of the size; below 1 KB "%ld Bytes".
std::string FormatByteSize(uint64_t bytes);
// Decimal with '.' between groups of three digits: 1234567 gives "1.234.567".
std::string FormatGroupedNumber(uint64_t value);

// The sampling-period dialog: the proposed period (seconds) and the affected
// signals; OK returns IDOK with the period edited. Only a finite period
// above 0 is taken.
class CEditFrq : public CDialog {
 public:
  static constexpr int kDialogId = 211;
  static constexpr int kSignalList = 219, kPeriod = 218;

  explicit CEditFrq(HWND parent = nullptr);

  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

  double m_period = 0;
  std::string m_signals;
};

}  // namespace pellor
