// The COM server framework that each import module compiles in: member
// tables, table-driven IDispatch, a read-only ITypeInfo and ITypeLib over the
// tables, the object map with its class factories, the module's lock count
// and the four exports DllCanUnloadNow, DllGetClassObject, DllRegisterServer
// and DllUnregisterServer. Every module has its own copy (linked statically,
// symbols hidden), so two modules in one process share nothing.
//
// How a module declares a creatable class:
//
//   #include "platform/com/server/server.h"
//   using namespace comserver;
//
//   // 1. The interface, as the contract lists it: name, dispatch id, kind,
//   //    argument and result types; help strings default to "method Add",
//   //    "property Name".
//   constexpr Member kProbeMembers[] = {
//       Method("Add", 1, {{"a", VT_I4}, {"b", VT_I4}}, VT_I4),
//       Get("Name", 2, VT_BSTR),
//       Put("Name", 2, VT_BSTR),
//       Get("Item", 3, VT_DISPATCH, {{"idx", VT_I4}}),
//   };
//   constexpr Interface kIProbe{"IProbe", winport::GuidOf("{...}"), kProbeMembers};
//
//   // 2. The class binds the first N members, in table order, to functions
//   //    of the matching signature: the arguments in order, then the result
//   //    as a pointer ([out, retval], which starts as its type's zero). A
//   //    module exposes a prefix of a contract by binding fewer members.
//   class CProbe : public Dispatch<CProbe> {
//    public:
//     HRESULT Add(LONG a, LONG b, LONG* sum) { *sum = a + b; return S_OK; }
//     HRESULT get_Name(BSTR* name) { *name = winport::BstrFromAnsi(name_); return S_OK; }
//     HRESULT put_Name(BSTR name) { name_ = winport::AnsiFromBstr(name); return S_OK; }
//     HRESULT get_Item(LONG idx, IDispatch** item) { *item = New<CItem>(idx); return S_OK; }
//
//     static constexpr const Interface& kInterface = kIProbe;
//     static constexpr Binding kBindings[] = {Bind<&CProbe::Add>(), Bind<&CProbe::get_Name>(),
//                                             Bind<&CProbe::put_Name>(), Bind<&CProbe::get_Item>()};
//    private:
//     std::string name_;
//   };
//
//   // 3. The object map and type library, once per module.
//   constexpr ClassEntry kClasses[] = {
//       Class<CProbe>("Probe", winport::GuidOf("{...}"), kProbeScript),  // a registrar script
//   };
//   constexpr TypeLib kTypeLib{"ProbeLib", winport::GuidOf("{...}"), 1, 0, 0, "Probe 1.0 Type Library", kClasses};
//   const TypeLib& comserver::ThisModule() { return kTypeLib; }
//
// A class may also implement a C++ interface of the contract (a struct of
// pure virtual functions deriving from IDispatch): Dispatch<CProbe, IProbe>.
// Argument and result types: SHORT (VT_I2), LONG (VT_I4), ULONG (VT_UI4),
// LONGLONG/LONG_PTR (VT_I8), ULONGLONG (VT_UI8), double (VT_R8), BSTR
// (borrowed), IDispatch* and IUnknown* (borrowed), and pointers to each of
// them (VT_BYREF, e.g. Read's IUnknown** buffer); a VARIANT* result is VT_VARIANT.
//
// Invoke: names compare without regard to case; arguments come reversed in
// DISPPARAMS; DISPATCH_METHOD | DISPATCH_PROPERTYGET finds a method or a get;
// a put needs its value as the named argument DISPID_PROPERTYPUT. Integer
// arguments of any width convert to the declared integer type or VT_R8 with a
// range check (DISP_E_OVERFLOW), a by-reference argument is read through for
// a by-value parameter, anything else of another type is DISP_E_TYPEMISMATCH;
// *puArgErr then names the argument's place in rgvarg. A member's failure
// HRESULT is returned as it is; a C++ exception leaving a member becomes
// DISP_E_EXCEPTION with its text in EXCEPINFO.
#pragma once

#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <new>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/automation.h"
#include "platform/com/bstr.h"
#include "platform/com/guid.h"
#include "platform/win32/module.h"

namespace comserver {

inline constexpr size_t kMaxParams = 8;

enum class Kind : uint8_t { Method, Get, Put };

struct Param {
  const char* name = nullptr;
  VARTYPE type = VT_EMPTY;
};

// One member of an interface's table.
struct Member {
  const char* name = nullptr;
  DISPID dispid = 0;
  Kind kind = Kind::Method;
  VARTYPE result = VT_EMPTY;  // VT_EMPTY: none; a get's property type
  Param params[kMaxParams] = {};
  uint8_t paramCount = 0;     // a put's value is its last parameter
  const char* help = nullptr;  // nullptr: "method <name>" or "property <name>"

  constexpr Member Help(const char* text) const {
    Member m = *this;
    m.help = text;
    return m;
  }
  constexpr std::span<const Param> Params() const { return {params, paramCount}; }
};

namespace detail {
constexpr Member MakeMember(const char* name, DISPID id, Kind kind, VARTYPE result, std::initializer_list<Param> params,
                            VARTYPE putValue) {
  Member m;
  m.name = name;
  m.dispid = id;
  m.kind = kind;
  m.result = result;
  const size_t count = params.size() + (putValue != VT_EMPTY ? 1 : 0);
  if (count > kMaxParams) throw "too many parameters for a member";
  for (const Param& p : params) m.params[m.paramCount++] = p;
  if (putValue != VT_EMPTY) m.params[m.paramCount++] = Param{"newVal", putValue};
  return m;
}
}  // namespace detail

constexpr Member Method(const char* name, DISPID id, std::initializer_list<Param> params = {},
                        VARTYPE result = VT_EMPTY) {
  return detail::MakeMember(name, id, Kind::Method, result, params, VT_EMPTY);
}
constexpr Member Get(const char* name, DISPID id, VARTYPE type, std::initializer_list<Param> params = {}) {
  return detail::MakeMember(name, id, Kind::Get, type, params, VT_EMPTY);
}
constexpr Member Put(const char* name, DISPID id, VARTYPE type, std::initializer_list<Param> params = {}) {
  return detail::MakeMember(name, id, Kind::Put, VT_EMPTY, params, type);
}

// An interface: its members in vtable order. Objects expose a prefix.
struct Interface {
  const char* name = nullptr;
  IID iid{};
  std::span<const Member> members;
  const char* help = nullptr;  // nullptr: "<name> Interface"
};

// --- bindings ---------------------------------------------------------------

// Calls one member function with arguments already converted to its types.
using Thunk = HRESULT (*)(void* object, VARIANT* args);

struct Binding {
  Thunk call = nullptr;
  VARTYPE signature[kMaxParams + 1] = {};  // the function's parameter types in order
  uint8_t count = 0;
};

template <typename T>
struct ArgType {
  static constexpr VARTYPE vt = VT_EMPTY;  // not a type that dispatch can pass
};
#define COMSERVER_ARG_TYPE(T, VT, FIELD)             \
  template <>                                        \
  struct ArgType<T> {                                \
    static constexpr VARTYPE vt = VT;                \
    static T From(VARIANT& v) { return v.FIELD; }    \
  };
COMSERVER_ARG_TYPE(SHORT, VT_I2, iVal)
COMSERVER_ARG_TYPE(LONG, VT_I4, lVal)
COMSERVER_ARG_TYPE(ULONG, VT_UI4, ulVal)
COMSERVER_ARG_TYPE(LONGLONG, VT_I8, llVal)
COMSERVER_ARG_TYPE(ULONGLONG, VT_UI8, ullVal)
COMSERVER_ARG_TYPE(double, VT_R8, dblVal)
COMSERVER_ARG_TYPE(BSTR, VT_BSTR, bstrVal)
COMSERVER_ARG_TYPE(IDispatch*, VT_DISPATCH, pdispVal)
COMSERVER_ARG_TYPE(IUnknown*, VT_UNKNOWN, punkVal)
#undef COMSERVER_ARG_TYPE
template <typename T>
struct ArgType<T*> {
  static constexpr VARTYPE vt = ArgType<T>::vt == VT_EMPTY ? VT_EMPTY : (ArgType<T>::vt | VT_BYREF);
  static T* From(VARIANT& v) { return static_cast<T*>(v.byref); }
};
template <>
struct ArgType<VARIANT*> {
  static constexpr VARTYPE vt = VT_BYREF | VT_VARIANT;
  static VARIANT* From(VARIANT& v) { return static_cast<VARIANT*>(v.byref); }
};

template <typename F>
struct MemberFunction;
template <typename C, typename... A>
struct MemberFunction<HRESULT (C::*)(A...)> {
  using Args = std::tuple<std::remove_cv_t<A>...>;
};
template <typename C, typename... A>
struct MemberFunction<HRESULT (C::*)(A...) noexcept> : MemberFunction<HRESULT (C::*)(A...)> {};

namespace detail {
template <class Object, auto F, size_t... I>
HRESULT CallWith(void* object, VARIANT* args, std::index_sequence<I...>) {
  using Args = typename MemberFunction<decltype(F)>::Args;
  return (static_cast<Object*>(object)->*F)(ArgType<std::tuple_element_t<I, Args>>::From(args[I])...);
}
template <class Object, auto F>
HRESULT Call(void* object, VARIANT* args) {
  using Args = typename MemberFunction<decltype(F)>::Args;
  return CallWith<Object, F>(object, args, std::make_index_sequence<std::tuple_size_v<Args>>());
}
template <typename Args, size_t... I>
constexpr void FillSignature(Binding& b, std::index_sequence<I...>) {
  ((b.signature[I] = ArgType<std::tuple_element_t<I, Args>>::vt), ...);
}
}  // namespace detail

// The binding of member function F of class Object (or of a base of it).
template <class Object, auto F>
constexpr Binding Bind() {
  using Args = typename MemberFunction<decltype(F)>::Args;
  constexpr size_t count = std::tuple_size_v<Args>;
  static_assert(count <= kMaxParams + 1, "too many parameters");
  Binding b;
  b.call = &detail::Call<Object, F>;
  b.count = static_cast<uint8_t>(count);
  detail::FillSignature<Args>(b, std::make_index_sequence<count>());
  for (size_t i = 0; i < count; ++i)
    if (b.signature[i] == VT_EMPTY) throw "a parameter type that dispatch cannot pass";
  return b;
}

// Whether a function with this binding's signature implements the member.
constexpr bool Matches(const Member& m, const Binding& b) {
  const size_t expected = m.paramCount + (m.result != VT_EMPTY ? 1 : 0);
  if (b.count != expected) return false;
  for (size_t i = 0; i < m.paramCount; ++i)
    if (b.signature[i] != m.params[i].type) return false;
  return m.result == VT_EMPTY || b.signature[m.paramCount] == (m.result | VT_BYREF);
}

constexpr bool Matches(const Interface& itf, std::span<const Binding> bindings) {
  if (bindings.size() > itf.members.size()) return false;
  for (size_t i = 0; i < bindings.size(); ++i)
    if (!Matches(itf.members[i], bindings[i])) return false;
  return true;
}

// --- the module ---------------------------------------------------------------

// Living objects, type descriptions and class-factory locks keep the module loaded.
void LockModule();
void UnlockModule();
LONG ModuleLockCount();
// This module's handle and full path.
HMODULE ModuleHandle();
std::string ModulePath();

// --- dispatch over a table ----------------------------------------------------

HRESULT InvokeMember(void* object, const Interface& itf, std::span<const Binding> bindings, DISPID id, REFIID riid,
                     WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);
HRESULT NamesToIds(const Interface& itf, size_t memberCount, LPOLESTR* names, UINT count, DISPID* ids);
// A new ITypeInfo (one reference) describing the first `memberCount` members.
HRESULT NewTypeInfo(const Interface& itf, size_t memberCount, ITypeInfo** info);

// --- objects ------------------------------------------------------------------

// The IUnknown and IDispatch of a class whose members a table describes.
// Objects live on the heap, counted by their references, and can be
// aggregated (created with an outer unknown, to which their IUnknown then delegates).
template <class Derived, class Itf = IDispatch>
class Dispatch : public Itf {
 public:
  template <auto F>
  static constexpr Binding Bind() {
    return comserver::Bind<Derived, F>();
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return outer_ ? outer_->QueryInterface(riid, object) : OwnQuery(riid, object);
  }
  ULONG AddRef() override { return outer_ ? outer_->AddRef() : ++refs_; }
  ULONG Release() override { return outer_ ? outer_->Release() : OwnRelease(); }

  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return NewTypeInfo(Derived::kInterface, std::size(Derived::kBindings), info);
  }
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return NamesToIds(Derived::kInterface, std::size(Derived::kBindings), names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 UINT* argErr) override {
    static_assert(Matches(Derived::kInterface, Derived::kBindings),
                  "the bindings do not match the interface's members");
    return InvokeMember(static_cast<Derived*>(this), Derived::kInterface, Derived::kBindings, id, riid, flags, params,
                        result, excepInfo, argErr);
  }

  // Used by the class factory: hands out the new object's `riid` (with an
  // outer unknown only IID_IUnknown, the object's own unknown).
  HRESULT FinishCreate(IUnknown* outer, REFIID riid, void** object) {
    outer_ = outer;
    ++refs_;
    const HRESULT hr = outer ? inner_.QueryInterface(riid, object) : OwnQuery(riid, object);
    OwnRelease();
    return hr;
  }

 protected:
  Dispatch() { LockModule(); }
  // Virtual, and so in the slot after the interface's own: an object is deleted as what it is.
  virtual ~Dispatch() { UnlockModule(); }
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;

 private:
  HRESULT OwnQuery(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown)
      *object = outer_ ? static_cast<IUnknown*>(&inner_) : static_cast<IUnknown*>(static_cast<Itf*>(this));
    else if (riid == IID_IDispatch || riid == Derived::kInterface.iid)
      *object = static_cast<Itf*>(this);
    else
      return E_NOINTERFACE;
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
  }
  ULONG OwnRelease() {
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  // The object's own unknown when it is aggregated.
  struct Inner final : IUnknown {
    explicit Inner(Dispatch* self) : self(self) {}
    HRESULT QueryInterface(REFIID riid, void** object) override { return self->OwnQuery(riid, object); }
    ULONG AddRef() override { return ++self->refs_; }
    ULONG Release() override { return self->OwnRelease(); }
    Dispatch* self;
  };

  std::atomic<ULONG> refs_{0};
  IUnknown* outer_ = nullptr;
  Inner inner_{this};
};

// A new object with one reference, for objects a module hands out itself
// (a signal object made by Signal(i)); nullptr when memory runs out.
template <class T, class... A>
T* New(A&&... args) {
  T* object = new (std::nothrow) T(std::forward<A>(args)...);
  if (object) object->AddRef();
  return object;
}

// --- the object map -------------------------------------------------------------

struct ClassEntry {
  const char* name = nullptr;  // the class's name in the type library ("ZPFileImport")
  CLSID clsid{};
  const char* script = nullptr;  // its registration script; %MODULE% is the module's path
  const char* help = nullptr;    // nullptr: "<name> Class"
  const Interface* iface = nullptr;
  size_t memberCount = 0;  // the prefix of the interface that the class implements
  HRESULT (*create)(IUnknown* outer, REFIID riid, void** object) = nullptr;
};

template <class T>
HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  T* created = nullptr;
  try {
    created = new T();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  return created->FinishCreate(outer, riid, object);
}

template <class T>
constexpr ClassEntry Class(const char* name, const CLSID& clsid, const char* script, const char* help = nullptr) {
  static_assert(Matches(T::kInterface, T::kBindings), "the bindings do not match the interface's members");
  return ClassEntry{name, clsid, script, help, &T::kInterface, std::size(T::kBindings), &CreateInstance<T>};
}

struct TypeLib {
  const char* name = nullptr;  // "PellorLib"
  GUID libid{};
  WORD major = 1;
  WORD minor = 0;
  LCID lcid = 0;
  const char* help = nullptr;  // "Pellor 1.0 Type Library"
  std::span<const ClassEntry> classes;
};

// Defined by each module: its object map and type library.
const TypeLib& ThisModule();

// A new ITypeLib (one reference) over this module's type library.
HRESULT NewTypeLib(ITypeLib** lib);

}  // namespace comserver
