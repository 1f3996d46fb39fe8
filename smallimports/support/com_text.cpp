#include "smallimports/support/com_text.h"

#include "platform/win32/codepage.h"
#include "smallimports/support/text.h"

namespace smallimports {

std::u16string AnsiToWide(std::string_view text) { return winport::AnsiToUtf16(CutText(text, text.size())); }

std::string WideToAnsi(BSTR text) {
  std::u16string_view wide = winport::BstrView(text);
  wide = wide.substr(0, wide.find(u'\0'));
  return winport::Utf16ToAnsi(wide);
}

BSTR TextToBstr(std::string_view text) { return winport::BstrFromUtf16(AnsiToWide(text)); }

}  // namespace smallimports
