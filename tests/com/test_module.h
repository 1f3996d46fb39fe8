// The test modules ComTestA and ComTestB: one source (test_module.cpp) built
// under two names, each with its own ids. Each has
// - Probe, a dual class with a member of every kind dispatch handles and a
//   module-wide counter (Bump), and
// - FakeImport with FakeSignal and FakeScalar, which serve a small fixed data
//   set through a prefix of the import contract: ComTestA the newest form
//   (28 members of the file object, 52 of the signal object), ComTestB the
//   oldest (16 and 40, no scalars).
// The data set: "Zeit", a time signal of 5 doubles; "Druck", a signed 5-bit
// field at bit 3 of 16-bit words with factor 0.5, offset 100 and NoValue -16
// over "Zeit"; "Rampe", an equidistant signed 16-bit signal spread over two
// blocks with an offset; the scalar "Gain"; comments. ImportFile accepts a
// file that starts with "FAKE".
#pragma once

#include "platform/com/automation.h"

namespace comtest {

struct Ids {
  const char* name;  // the module's name and the start of its ProgIDs
  GUID libid, probeClsid, probeIid, importClsid, importIid, signalClsid, signalIid, scalarClsid, scalarIid;
};

inline constexpr Ids kA{"ComTestA",
                        winport::GuidOf("{8C213840-FAB9-4CBB-B11B-E4ACA6B8CF4D}"),
                        winport::GuidOf("{540F0F2C-7A0E-4D56-94EB-9FF76C63C8C0}"),
                        winport::GuidOf("{7E662F03-8674-42A9-A3C1-3CD82B33916A}"),
                        winport::GuidOf("{833A073E-EA94-4031-BAF1-1C73DE21E40C}"),
                        winport::GuidOf("{1D12AD56-84AB-48EB-B6B3-717287093FBA}"),
                        winport::GuidOf("{07C9405F-9826-4816-A62B-57468BCB6B7F}"),
                        winport::GuidOf("{33BD23DD-BCC7-46A5-9ACB-F97F48722947}"),
                        winport::GuidOf("{F2D3176A-8FD5-43B7-987C-33D59F4B4F0E}"),
                        winport::GuidOf("{8648D7A2-89FE-49EF-9CAE-8E047AEA9A04}")};
inline constexpr Ids kB{"ComTestB",
                        winport::GuidOf("{4D831844-794E-424B-9768-B08FF774C74F}"),
                        winport::GuidOf("{5A5E9305-788E-4F65-A669-1CAF380F28A6}"),
                        winport::GuidOf("{CF9AD9C4-5AD2-4811-B686-A77636D11453}"),
                        winport::GuidOf("{FD12E39F-B3FD-4D3D-AD80-720B52843831}"),
                        winport::GuidOf("{274600D7-7316-4E39-8CD3-D472E460A5E2}"),
                        winport::GuidOf("{28DDF741-3037-4182-B260-5CC23A2DAF20}"),
                        winport::GuidOf("{2AFE5A52-FB47-4076-8ACB-E863B01F4C27}"),
                        winport::GuidOf("{26013A09-6B84-4510-BF0B-F275B2F17BBC}"),
                        winport::GuidOf("{13E26AB0-C52F-4153-85C3-B53693D945D4}")};

// The vtable side of Probe's dual interface, in member-table order.
struct IProbe : IDispatch {
  virtual HRESULT Bump(LONG* count) = 0;                     // 1: the module-wide counter, incremented
  virtual HRESULT get_Count(LONG* count) = 0;                // 2
  virtual HRESULT Echo(SHORT s, LONG l, ULONG ul, LONGLONG ll, ULONGLONG ull, double d, BSTR text,
                       BSTR* echo) = 0;                      // 3: the arguments as text
  virtual HRESULT get_Text(BSTR* text) = 0;                  // 4
  virtual HRESULT put_Text(BSTR text) = 0;                   // 4
  virtual HRESULT get_Item(LONG idx, IDispatch** item) = 0;  // 5: a new Probe; untouched for idx <= 0
  virtual HRESULT Fill(IUnknown** buffer, ULONG bytes) = 0;  // 6: bytes 0, 1, 2, ... into the caller's buffer
  virtual HRESULT Swap(LONG* value, BSTR* text) = 0;         // 7: value + 1, text reversed
  virtual HRESULT get_Address(LONGLONG* address) = 0;        // 8
  virtual HRESULT put_Address(LONGLONG address) = 0;         // 8
  virtual HRESULT Throw() = 0;                               // 9: throws std::runtime_error("probe failure")
  virtual HRESULT Fail(LONG hr) = 0;                         // 10: returns hr
  virtual HRESULT get_Nothing(VARIANT* nothing) = 0;         // 11: an empty variant
  virtual HRESULT Same(IUnknown* object, IUnknown** same) = 0;  // 12: the object, AddRef'd
  virtual HRESULT Twice(double d, double* twice) = 0;        // 13

 protected:
  ~IProbe() = default;
};

}  // namespace comtest
