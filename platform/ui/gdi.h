// The part of GDI that owner-drawn controls paint with: solid brushes, filled
// rectangles and clipped text on a device context that the backend lends for
// one paint (see PaintOwnerDrawn in dialog.h).
#pragma once

#include <string>

#include "platform/ui/window.h"

using COLORREF = DWORD;  // 0x00BBGGRR

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

struct HDC__;
using HDC = HDC__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;

// GetSysColor.
constexpr int COLOR_WINDOW = 5;
// SetBkMode.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
// ExtTextOutA.
constexpr UINT ETO_CLIPPED = 0x0004;

// The colour of a display element, as the backend shows it.
COLORREF GetSysColor(int index);
HBRUSH CreateSolidBrush(COLORREF colour);
// Frees a brush; FALSE for a null one.
BOOL DeleteObject(HBRUSH brush);
// Fills the rectangle with the brush (right and bottom edges excluded).
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// Return the previous setting.
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);
// The text's width and height in the context's font.
BOOL GetTextExtentPoint32A(HDC dc, const char* text, int count, SIZE* size);
// The text with its cell's top left at (x, y), in the text colour, its cell
// first filled with the background colour in OPAQUE mode. ETO_CLIPPED keeps
// it inside `rect`. Character spacing (`dx`) is not supported: it must be null.
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count, const INT* dx);

namespace winport::ui {

// What a device context paints on: the backend's surface for one paint, in
// the control's client coordinates.
class Surface {
 public:
  virtual ~Surface() = default;
  virtual void Fill(const RECT& rect, COLORREF colour) = 0;
  virtual SIZE TextExtent(const std::string& text) = 0;
  // The text's cell with its top left at (x, y), clipped to `clip` when given.
  virtual void Text(int x, int y, const RECT* clip, COLORREF colour, const std::string& text) = 0;
};

// A device context over a surface while it lives.
class PaintContext {
 public:
  explicit PaintContext(Surface& surface);
  ~PaintContext();
  PaintContext(const PaintContext&) = delete;
  PaintContext& operator=(const PaintContext&) = delete;
  HDC Handle() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace winport::ui
