#include "host/object.h"

#include <limits>
#include <utility>

#include "platform/win32/codepage.h"

namespace host {
namespace {

// The type a type description gives: a pointer to T is VT_BYREF | T.
VARTYPE TypeOf(const TYPEDESC& desc) {
  if (desc.vt == VT_PTR && desc.lptdesc) return static_cast<VARTYPE>(desc.lptdesc->vt | VT_BYREF);
  return desc.vt;
}

// The argument as a variant of the declared type (VT_EMPTY: of its own type).
VARIANT MakeArg(const Arg& arg, VARTYPE type, const std::string& member) {
  VARIANT v;
  VariantInit(&v);
  if (const auto* buffer = std::get_if<BufferRef>(&arg)) {
    v.vt = VT_BYREF | VT_UNKNOWN;
    v.byref = buffer->pointer;
    return v;
  }
  if (const auto* text = std::get_if<std::string>(&arg)) {
    v.vt = VT_BSTR;
    v.bstrVal = winport::BstrFromUtf8(*text);
    return v;
  }
  if (const auto* d = std::get_if<double>(&arg)) {
    v.vt = VT_R8;
    v.dblVal = *d;
    return v;
  }
  // An integer goes in the width the member declares, so that it reaches a
  // module that checks types strictly.
  const int64_t n = std::get<int64_t>(arg);
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_I8;
  source.llVal = n;
  const VARTYPE target = type == VT_EMPTY || type == VT_I8 ? VARTYPE{VT_I8} : type;
  if (target == VT_I2 || target == VT_I4 || target == VT_UI4 || target == VT_UI8 || target == VT_R8) {
    if (FAILED(VariantChangeType(&v, &source, 0, target)))
      throw CallError{member, DISP_E_OVERFLOW, std::to_string(n) + " does not fit the argument's type"};
    return v;
  }
  if (type == VT_EMPTY) {  // without type information: a long where it fits, as scripts pass them
    if (n >= std::numeric_limits<LONG>::min() && n <= std::numeric_limits<LONG>::max()) {
      v.vt = VT_I4;
      v.lVal = static_cast<LONG>(n);
      return v;
    }
  }
  return source;
}

}  // namespace

Value ValueOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_I2: return int64_t{v.iVal};
    case VT_I4: return int64_t{v.lVal};
    case VT_UI4: return int64_t{v.ulVal};
    case VT_I8: return int64_t{v.llVal};
    case VT_UI8:
      if (v.ullVal <= static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max())) return static_cast<int64_t>(v.ullVal);
      return static_cast<double>(v.ullVal);
    case VT_R8: return v.dblVal;
    case VT_BSTR:
      if (!v.bstrVal) return std::monostate{};
      return winport::Utf8FromBstr(v.bstrVal);
    default: return std::monostate{};
  }
}

Object::Object(IDispatch* object) : object_(object) { ReadTypeInfo(); }

Object::~Object() {
  if (object_) object_->Release();
}

Object::Object(Object&& other) noexcept
    : object_(std::exchange(other.object_, nullptr)), members_(std::move(other.members_)) {}

Object& Object::operator=(Object&& other) noexcept {
  if (this != &other) {
    if (object_) object_->Release();
    object_ = std::exchange(other.object_, nullptr);
    members_ = std::move(other.members_);
  }
  return *this;
}

void Object::ReadTypeInfo() {
  ITypeInfo* info = nullptr;
  if (!object_ || FAILED(object_->GetTypeInfo(0, 0, &info)) || !info) return;
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr) {
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
      FUNCDESC* desc = nullptr;
      if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
      BSTR name = nullptr;
      UINT names = 0;
      info->GetNames(desc->memid, &name, 1, &names);
      const std::string text = winport::Utf8FromBstr(name);
      SysFreeString(name);
      Member* member = nullptr;
      for (Member& m : members_)
        if (winport::EqualsNoCase(m.name, text)) member = &m;
      if (!member) {
        members_.emplace_back();
        member = &members_.back();
        member->name = text;
        member->id = desc->memid;
      }
      std::vector<VARTYPE> params;
      for (SHORT p = 0; p < desc->cParams; ++p) params.push_back(TypeOf(desc->lprgelemdescParam[p].tdesc));
      if (desc->invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) {
        member->put = true;
        member->putParams = params;
      } else {
        (desc->invkind == INVOKE_PROPERTYGET ? member->get : member->method) = true;
        member->params = params;
        const VARTYPE result = TypeOf(desc->elemdescFunc.tdesc);
        member->result = result == VT_VOID || result == VT_HRESULT ? VARTYPE{VT_EMPTY} : result;
      }
      info->ReleaseFuncDesc(desc);
    }
  }
  info->Release();
}

const Object::Member* Object::Find(std::string_view name) const {
  for (const Member& m : members_)
    if (winport::EqualsNoCase(m.name, name)) return &m;
  return nullptr;
}

DISPID Object::IdOf(std::string_view name) const {
  if (const Member* m = Find(name)) return m->id;
  // Without type information: ask the object.
  std::u16string wide = winport::Utf8ToUtf16(name);
  OLECHAR* names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  if (!object_ || FAILED(object_->GetIDsOfNames(IID_NULL, names, 1, 0, &id)))
    throw CallError{std::string(name), DISP_E_UNKNOWNNAME, "the object has no member of that name"};
  return id;
}

VARIANT Object::Invoke(std::string_view name, WORD flags, const std::vector<Arg>& args,
                       const std::vector<VARTYPE>& types) {
  const DISPID id = IdOf(name);
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  try {
    for (size_t i = args.size(); i-- > 0;)
      reversed.push_back(MakeArg(args[i], i < types.size() ? types[i] : VARTYPE{VT_EMPTY}, std::string(name)));
  } catch (...) {
    for (VARIANT& v : reversed) VariantClear(&v);
    throw;
  }
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info{};
  UINT argErr = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, 0, flags, &params, &result, &info, &argErr);
  for (VARIANT& v : reversed) VariantClear(&v);
  std::string description = winport::Utf8FromBstr(info.bstrDescription);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  if (FAILED(hr)) {
    VariantClear(&result);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
      description = "argument " + std::to_string(args.size() - argErr) + " of " + std::to_string(args.size());
    throw CallError{std::string(name), hr, description};
  }
  return result;
}

Value Object::Get(std::string_view name, const std::vector<Arg>& args) {
  const Member* m = Find(name);
  VARIANT result = Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, m ? m->params : std::vector<VARTYPE>{});
  Value value = ValueOf(result);
  VariantClear(&result);
  return value;
}

Object Object::GetObject(std::string_view name, const std::vector<Arg>& args) {
  const Member* m = Find(name);
  VARIANT result = Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, m ? m->params : std::vector<VARTYPE>{});
  if (result.vt == VT_DISPATCH && result.pdispVal) return Object(result.pdispVal);  // takes its reference
  VariantClear(&result);
  return Object();
}

void Object::Put(std::string_view name, const Arg& value, const std::vector<Arg>& args) {
  const Member* m = Find(name);
  std::vector<Arg> all = args;
  all.push_back(value);
  VARIANT result = Invoke(name, DISPATCH_PROPERTYPUT, all, m ? m->putParams : std::vector<VARTYPE>{});
  VariantClear(&result);
}

Value Object::Call(std::string_view name, const std::vector<Arg>& args) {
  const Member* m = Find(name);
  VARIANT result = Invoke(name, DISPATCH_METHOD, args, m ? m->params : std::vector<VARTYPE>{});
  Value value = ValueOf(result);
  VariantClear(&result);
  return value;
}

}  // namespace host
