// Read-only ITypeInfo and ITypeLib over the member tables: what a type
// library would tell a host about the module's classes and interfaces.
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/server/counted.h"
#include "platform/win32/codepage.h"

namespace comserver {
namespace {

std::string HelpOf(const Member& m) {
  if (m.help) return m.help;
  return std::string(m.kind == Kind::Method ? "method " : "property ") + m.name;
}
std::string HelpOf(const Interface& itf) { return itf.help ? itf.help : std::string(itf.name) + " Interface"; }
std::string HelpOf(const ClassEntry& c) { return c.help ? c.help : std::string(c.name) + " Class"; }

INVOKEKIND InvokeKindOf(Kind kind) {
  switch (kind) {
    case Kind::Get: return INVOKE_PROPERTYGET;
    case Kind::Put: return INVOKE_PROPERTYPUT;
    default: return INVOKE_FUNC;
  }
}

// One entry of the type library: a class or an interface.
struct TypeEntry {
  const ClassEntry* coclass = nullptr;  // set for a class
  const Interface* iface = nullptr;     // set for an interface
  size_t memberCount = 0;
};

// The name and help string of a class or interface.
void EntryDocumentation(const TypeEntry& e, std::string& name, std::string& doc) {
  name = e.coclass ? e.coclass->name : e.iface->name;
  doc = e.coclass ? HelpOf(*e.coclass) : HelpOf(*e.iface);
}

void HandOut(const std::string& name, const std::string& doc, BSTR* nameOut, BSTR* docOut, DWORD* helpContext,
             BSTR* helpFile) {
  if (nameOut) *nameOut = winport::BstrFromAnsi(name);
  if (docOut) *docOut = winport::BstrFromAnsi(doc);
  if (helpContext) *helpContext = 0;
  if (helpFile) *helpFile = nullptr;
}

// Classes and their interfaces in the order of the object map; an interface
// that two classes share appears once, with the longer prefix.
std::vector<TypeEntry> LibraryEntries() {
  std::vector<TypeEntry> entries;
  for (const ClassEntry& c : ThisModule().classes) {
    entries.push_back({&c, nullptr, 0});
    bool known = false;
    for (TypeEntry& e : entries)
      if (e.iface && e.iface->iid == c.iface->iid) {
        e.memberCount = std::max(e.memberCount, c.memberCount);
        known = true;
      }
    if (!known) entries.push_back({nullptr, c.iface, c.memberCount});
  }
  return entries;
}

class TypeInfo final : public Counted<ITypeInfo> {
 public:
  explicit TypeInfo(TypeEntry entry) : entry_(entry) {}

  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    if (!attr) return E_POINTER;
    auto* a = new (std::nothrow) TYPEATTR{};
    if (!(*attr = a)) return E_OUTOFMEMORY;
    const TypeLib& lib = ThisModule();
    a->lcid = lib.lcid;
    a->memidConstructor = MEMBERID_NIL;
    a->memidDestructor = MEMBERID_NIL;
    a->wMajorVerNum = lib.major;
    a->wMinorVerNum = lib.minor;
    a->cbAlignment = sizeof(void*);
    if (entry_.coclass) {
      a->guid = entry_.coclass->clsid;
      a->typekind = TKIND_COCLASS;
      a->cImplTypes = 1;
      a->wTypeFlags = TYPEFLAG_FCANCREATE;
    } else {
      a->guid = entry_.iface->iid;
      a->typekind = TKIND_DISPATCH;
      a->cFuncs = static_cast<WORD>(Members().size());
      a->cbSizeVft = static_cast<WORD>(7 * sizeof(void*));  // IUnknown and IDispatch
      a->wTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION;
    }
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

  HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override {
    if (!desc) return E_POINTER;
    *desc = nullptr;
    if (index >= Members().size()) return TYPE_E_ELEMENTNOTFOUND;
    const Member& m = Members()[index];
    auto block = std::make_unique<FuncDescBlock>();
    FUNCDESC& f = block->desc;
    f.memid = m.dispid;
    f.funckind = FUNC_DISPATCH;
    f.invkind = InvokeKindOf(m.kind);
    f.callconv = CC_STDCALL;
    f.cParams = static_cast<SHORT>(m.paramCount);
    f.lprgelemdescParam = m.paramCount ? block->params : nullptr;
    for (size_t i = 0; i < m.paramCount; ++i) {
      Describe(m.params[i].type, block->params[i].tdesc, block->pointees[i]);
      block->params[i].paramdesc.wParamFlags = PARAMFLAG_FIN;
    }
    Describe(m.result == VT_EMPTY ? VARTYPE{VT_VOID} : m.result, f.elemdescFunc.tdesc, block->pointees[kMaxParams]);
    *desc = &block.release()->desc;
    return S_OK;
  }
  void ReleaseFuncDesc(FUNCDESC* desc) override {
    // The description is the first member of its block.
    delete reinterpret_cast<FuncDescBlock*>(desc);
  }

  HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override {
    if (!names || !count) return E_POINTER;
    *count = 0;
    const Member* m = FindById(id);
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    // A put's value has no name of its own here, as in a type library.
    const size_t params = m->kind == Kind::Put && m->paramCount > 0 ? m->paramCount - 1u : m->paramCount;
    for (size_t i = 0; i <= params && *count < maxNames; ++i)
      names[(*count)++] = winport::BstrFromAnsi(i == 0 ? m->name : m->params[i - 1].name);
    return S_OK;
  }

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (entry_.coclass) return DISP_E_UNKNOWNNAME;
    return NamesToIds(*entry_.iface, entry_.memberCount, names, count, ids);
  }

  HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 UINT* argErr) override {
    if (!instance) return E_INVALIDARG;
    return static_cast<IDispatch*>(instance)->Invoke(id, IID_NULL, 0, flags, params, result, excepInfo, argErr);
  }

  HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) override {
    std::string n, doc;
    if (id == MEMBERID_NIL) {
      EntryDocumentation(entry_, n, doc);
    } else {
      const Member* m = FindById(id);
      if (!m) return TYPE_E_ELEMENTNOTFOUND;
      n = m->name;
      doc = HelpOf(*m);
    }
    HandOut(n, doc, name, docString, helpContext, helpFile);
    return S_OK;
  }

  HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override {
    if (!ref) return E_POINTER;
    if (!entry_.coclass || index != 0) return TYPE_E_ELEMENTNOTFOUND;
    const std::vector<TypeEntry> entries = LibraryEntries();
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].iface && entries[i].iface->iid == entry_.coclass->iface->iid) {
        *ref = static_cast<HREFTYPE>(i);
        return S_OK;
      }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetImplTypeFlags(UINT index, INT* flags) override {
    if (!flags) return E_POINTER;
    if (!entry_.coclass || index != 0) return TYPE_E_ELEMENTNOTFOUND;
    *flags = 1;  // IMPLTYPEFLAG_FDEFAULT
    return S_OK;
  }
  HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override;

  HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override {
    if (index) {
      const std::vector<TypeEntry> entries = LibraryEntries();
      for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].coclass == entry_.coclass && entries[i].iface == entry_.iface) *index = static_cast<UINT>(i);
    }
    return lib ? NewTypeLib(lib) : S_OK;
  }

  HRESULT GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT GetVarDesc(UINT, VARDESC**) override { return TYPE_E_ELEMENTNOTFOUND; }
  void ReleaseVarDesc(VARDESC*) override {}
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return TYPE_E_ELEMENTNOTFOUND; }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void**) override { return E_NOTIMPL; }
  HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT GetMops(MEMBERID, BSTR* mops) override {
    if (mops) *mops = nullptr;
    return S_OK;
  }

 protected:
  IID Own() const override { return IID_ITypeInfo; }

 private:
  struct FuncDescBlock {
    FUNCDESC desc{};  // first: ReleaseFuncDesc finds the block by it
    ELEMDESC params[kMaxParams]{};
    TYPEDESC pointees[kMaxParams + 1]{};
  };

  // A by-reference type is a pointer to its base type, as a type library says it.
  static void Describe(VARTYPE vt, TYPEDESC& desc, TYPEDESC& pointee) {
    if (vt & VT_BYREF) {
      pointee.vt = static_cast<VARTYPE>(vt & ~VT_BYREF);
      desc.vt = VT_PTR;
      desc.lptdesc = &pointee;
    } else {
      desc.vt = vt;
    }
  }

  std::span<const Member> Members() const {
    if (!entry_.iface) return {};
    return entry_.iface->members.first(std::min(entry_.memberCount, entry_.iface->members.size()));
  }
  const Member* FindById(MEMBERID id) const {
    for (const Member& m : Members())
      if (m.dispid == id) return &m;
    return nullptr;
  }

  TypeEntry entry_;
};

class Library final : public Counted<ITypeLib> {
 public:
  Library() : entries_(LibraryEntries()) {}

  UINT GetTypeInfoCount() override { return static_cast<UINT>(entries_.size()); }
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index >= entries_.size()) return TYPE_E_ELEMENTNOTFOUND;
    *info = new (std::nothrow) TypeInfo(entries_[index]);
    return *info ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (!kind) return E_POINTER;
    if (index >= entries_.size()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = entries_[index].coclass ? TKIND_COCLASS : TKIND_DISPATCH;
    return S_OK;
  }
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    for (UINT i = 0; i < entries_.size(); ++i) {
      const TypeEntry& e = entries_[i];
      if ((e.coclass && e.coclass->clsid == guid) || (e.iface && e.iface->iid == guid)) return GetTypeInfo(i, info);
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetLibAttr(TLIBATTR** attr) override {
    if (!attr) return E_POINTER;
    const TypeLib& lib = ThisModule();
    *attr = new (std::nothrow) TLIBATTR{lib.libid, lib.lcid, SYS_WIN64, lib.major, lib.minor, 0};
    return *attr ? S_OK : E_OUTOFMEMORY;
  }
  void ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }
  HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) override {
    std::string n, doc;
    if (index == -1) {
      const TypeLib& lib = ThisModule();
      n = lib.name ? lib.name : "";
      doc = lib.help ? lib.help : "";
    } else if (index >= 0 && static_cast<size_t>(index) < entries_.size()) {
      EntryDocumentation(entries_[static_cast<size_t>(index)], n, doc);
    } else {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    HandOut(n, doc, name, docString, helpContext, helpFile);
    return S_OK;
  }
  HRESULT GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT IsName(LPOLESTR, ULONG, BOOL*) override { return E_NOTIMPL; }
  HRESULT FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override { return E_NOTIMPL; }

 protected:
  IID Own() const override { return IID_ITypeLib; }

 private:
  std::vector<TypeEntry> entries_;
};

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  const std::vector<TypeEntry> entries = LibraryEntries();
  if (ref >= entries.size()) return TYPE_E_ELEMENTNOTFOUND;
  *info = new (std::nothrow) TypeInfo(entries[ref]);
  return *info ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT NewTypeInfo(const Interface& itf, size_t memberCount, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = new (std::nothrow) TypeInfo(TypeEntry{nullptr, &itf, std::min(memberCount, itf.members.size())});
  return *info ? S_OK : E_OUTOFMEMORY;
}

HRESULT NewTypeLib(ITypeLib** lib) {
  if (!lib) return E_POINTER;
  *lib = nullptr;
  try {
    *lib = new Library();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace comserver
