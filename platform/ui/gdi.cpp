#include "platform/ui/gdi.h"

#include <algorithm>
#include <utility>

#include "platform/ui/backend.h"

struct HBRUSH__ {
  COLORREF colour;
};

// The settings a device context keeps, with Windows' defaults.
struct HDC__ {
  winport::ui::Surface* surface;
  COLORREF text = RGB(0, 0, 0);
  COLORREF background = RGB(255, 255, 255);
  int mode = OPAQUE;
};

COLORREF GetSysColor(int index) { return winport::ui::CurrentBackend().SystemColor(index); }

HBRUSH CreateSolidBrush(COLORREF colour) { return new HBRUSH__{colour}; }

BOOL DeleteObject(HBRUSH brush) {
  if (!brush) return FALSE;
  delete brush;
  return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (!dc || !rect || !brush) return 0;
  if (rect->right > rect->left && rect->bottom > rect->top) dc->surface->Fill(*rect, brush->colour);
  return 1;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) { return dc ? std::exchange(dc->text, colour) : 0; }
COLORREF SetBkColor(HDC dc, COLORREF colour) { return dc ? std::exchange(dc->background, colour) : 0; }

int SetBkMode(HDC dc, int mode) {
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->mode, mode);
}

BOOL GetTextExtentPoint32A(HDC dc, const char* text, int count, SIZE* size) {
  if (!dc || !size || count < 0 || (count > 0 && !text)) return FALSE;
  *size = dc->surface->TextExtent(std::string(text ? text : "", static_cast<size_t>(count)));
  return TRUE;
}

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count, const INT* dx) {
  if (!dc || dx || (count > 0 && !text) || ((options & ETO_CLIPPED) && !rect)) return FALSE;
  const std::string s(text ? text : "", count);
  const RECT* clip = (options & ETO_CLIPPED) ? rect : nullptr;
  if (dc->mode == OPAQUE) {
    const SIZE extent = dc->surface->TextExtent(s);
    RECT cell{x, y, x + extent.cx, y + extent.cy};
    if (clip) {
      cell.left = std::max(cell.left, clip->left);
      cell.top = std::max(cell.top, clip->top);
      cell.right = std::min(cell.right, clip->right);
      cell.bottom = std::min(cell.bottom, clip->bottom);
    }
    if (cell.right > cell.left && cell.bottom > cell.top) dc->surface->Fill(cell, dc->background);
  }
  dc->surface->Text(x, y, clip, dc->text, s);
  return TRUE;
}

namespace winport::ui {

PaintContext::PaintContext(Surface& surface) : dc_(new HDC__{&surface}) {}
PaintContext::~PaintContext() { delete dc_; }

}  // namespace winport::ui
