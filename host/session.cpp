#include "host/session.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/failure.h"
#include "platform/com/activation.h"
#include "platform/com/guid.h"
#include "platform/win32/codepage.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "platform/win32/resource.h"

namespace host {
namespace {

// The most comments, value texts and signals that are read; a module that
// claims more is not believed.
constexpr int64_t kMaxComments = 65536;
constexpr int64_t kMaxValueTexts = 65536;

Failure ModuleFailure(const std::string& step, const CallError& e, const std::string& what) {
  std::string detail = what + ": " + e.member + " failed";
  if (!e.description.empty()) detail += ": " + e.description;
  return Failure(Exit::Module, step, e.hr, detail);
}

int64_t IntegerOf(const Value& v, int64_t otherwise) {
  if (const auto* i = std::get_if<int64_t>(&v)) return *i;
  if (const auto* s = std::get_if<std::string>(&v)) {
    int64_t n = 0;
    const auto r = std::from_chars(s->data(), s->data() + s->size(), n);
    if (r.ec == std::errc() && r.ptr == s->data() + s->size()) return n;
  }
  return otherwise;
}

// A property read as the contract means it: sizes and positions unsigned.
Value Adjusted(const std::string& name, Value v) {
  if (const auto* i = std::get_if<int64_t>(&v); i && IsUnsigned32(name))
    return static_cast<int64_t>(static_cast<uint32_t>(*i));
  return v;
}

}  // namespace

bool IsUnsigned32(std::string_view name) {
  return name == "DataSize" || name == "Block0" || name == "NoOfValues";
}

std::string VariablesKeyFor(int32_t hostVersion) {
  return hostVersion < 1792 ? "Software\\Zephanor\\6.0\\Variables" : "Software\\Zephanor\\7.0\\Variables";
}

Session::Session(const std::string& progId) {
  const std::u16string wide = winport::Utf8ToUtf16(progId);
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
  if (FAILED(hr)) throw Failure(Exit::Activation, "activate", hr, winport::LastActivationError());
  IDispatch* object = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
  if (FAILED(hr) || !object)
    throw Failure(Exit::Activation, "activate", hr, progId + ": " + winport::LastActivationError());
  file_ = Object(object);
  if (file_.Members().empty())
    throw Failure(Exit::Activation, "activate", std::nullopt, progId + " offers no type information");
}

Session::~Session() {
  if (imported_) {
    try {
      file_.Call("ReleaseFile");
    } catch (const CallError&) {
      // Nothing more to do about it: the object goes anyway.
    }
  }
  file_ = Object();
  CoFreeUnusedLibraries();
  RestoreVariables();
}

void Session::RestoreVariables() {
  if (saved_.empty()) return;
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, variablesKey_.c_str(), &key) != ERROR_SUCCESS) return;
  for (const SavedVariable& v : saved_) {
    if (v.before)
      RegSetValueExA(key, v.name.c_str(), 0, v.before->first, v.before->second.data(),
                     static_cast<DWORD>(v.before->second.size()));
    else
      RegDeleteValueA(key, v.name.c_str());
  }
  RegCloseKey(key);
  saved_.clear();
}

std::vector<std::string> Session::Configure(const ImportOptions& options) {
  std::vector<std::string> notes;
  if (options.zpVersion) {
    hostVersion_ = *options.zpVersion;
    if (file_.Has("ZpVersion")) {
      try {
        file_.Put("ZpVersion", int64_t{hostVersion_});
      } catch (const CallError& e) {
        throw ModuleFailure("configure", e, "ZpVersion " + std::to_string(hostVersion_));
      }
    } else {
      notes.push_back("the module has no ZpVersion; the host version only selects the Variables key");
    }
  }
  if (!options.variables.empty()) {
    HKEY key = nullptr;
    const std::string path = VariablesKeyFor(hostVersion_);
    if (RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key) != ERROR_SUCCESS)
      throw Failure(Exit::FileIo, "configure", std::nullopt, "cannot create HKCU\\" + path);
    variablesKey_ = path;
    for (const auto& [name, value] : options.variables) {
      const std::string ansi = winport::Utf8ToAnsi(value);
      const std::string ansiName = winport::Utf8ToAnsi(name);
      if (std::none_of(saved_.begin(), saved_.end(),
                       [&](const SavedVariable& v) { return winport::EqualsNoCase(v.name, ansiName); })) {
        SavedVariable saved{ansiName, std::nullopt};
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(key, ansiName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
          std::vector<BYTE> data(size);
          if (RegQueryValueExA(key, ansiName.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
            data.resize(size);
            saved.before.emplace(type, std::move(data));
          }
        }
        saved_.push_back(std::move(saved));
      }
      if (RegSetValueExA(key, ansiName.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(ansi.c_str()),
                         static_cast<DWORD>(ansi.size() + 1)) != ERROR_SUCCESS) {
        RegCloseKey(key);
        throw Failure(Exit::FileIo, "configure", std::nullopt, "cannot write the variable " + name);
      }
    }
    RegCloseKey(key);
  }
  if (options.parameters) {
    if (!file_.Has("Parameters")) {
      notes.push_back("the module has no Parameters; the parameter block is not given");
    } else {
      parameters_ = *options.parameters;
      try {
        file_.Put("Parameters", static_cast<int64_t>(reinterpret_cast<intptr_t>(parameters_.data())));
      } catch (const CallError& e) {
        throw ModuleFailure("configure", e, "Parameters");
      }
    }
  }
  return notes;
}

int64_t Session::IsValid(const std::string& path) {
  try {
    return IntegerOf(file_.Get("IsValid", {path}), 0);
  } catch (const CallError& e) {
    throw ModuleFailure("valid", e, path);
  }
}

std::optional<std::string> Session::Variable(const std::string& name) const {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, VariablesKeyFor(hostVersion_).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD size = 0, type = 0;
  std::optional<std::string> value;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
    std::string data(size, '\0');
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
        ERROR_SUCCESS) {
      data.resize(size > 0 ? size - 1 : 0);
      value = winport::AnsiToUtf8(data);
    }
  }
  RegCloseKey(key);
  return value;
}

void Session::Import(const std::string& path, const std::string& user) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, VariablesKeyFor(hostVersion_).c_str(), 0, KEY_ALL_ACCESS, &key) ==
      ERROR_SUCCESS) {
    RegDeleteValueA(key, "ERRNO");
    RegDeleteValueA(key, "ERRMSG");
    RegCloseKey(key);
  }
  signals_.reset();
  try {
    file_.Call("ImportFile", {path, user});
  } catch (const CallError& e) {
    Failure failure = ModuleFailure("import", e, path);
    const std::optional<std::string> number = Variable("ERRNO"), message = Variable("ERRMSG");
    std::string detail = failure.detail;
    if (number || message) detail += "; ERRNO " + number.value_or("") + ": " + message.value_or("");
    throw Failure(Exit::Module, "import", e.hr, detail);
  }
  imported_ = true;
}

PropertyList Session::Properties(Object& object, const std::string& path) {
  PropertyList list;
  for (const Object::Member& m : object.Members()) {
    if (!m.get) continue;
    try {
      if (m.params.empty()) {
        if (m.name == "Parameters") continue;  // an address, different in every run
        list.emplace_back(m.name, Adjusted(m.name, object.Get(m.name)));
      } else if (m.name == "BitState") {
        const int64_t count = IntegerOf(object.Get(m.name, {int64_t{-1}}), -1);
        if (count < 0) {
          list.emplace_back(m.name, std::monostate{});
          continue;
        }
        TextList texts;
        for (int64_t i = 0; i < std::min(count, kMaxValueTexts); ++i) {
          const Value text = object.Get(m.name, {i});
          if (const auto* s = std::get_if<std::string>(&text)) texts.push_back(*s);
        }
        list.emplace_back(m.name, std::move(texts));
      } else if (m.name == "Name" && m.params.size() == 1 && !path.empty()) {
        list.emplace_back(m.name, object.Get(m.name, {int64_t{0}}));
      } else if ((m.name == "IsValid" || m.name == "DaffExists") && m.params.size() == 1 && !path.empty()) {
        list.emplace_back(m.name, object.Get(m.name, {path}));
      }
    } catch (const CallError& e) {
      throw ModuleFailure("list", e, "property " + m.name);
    }
  }
  return list;
}

PropertyList Session::FileProperties(const std::string& path) { return Properties(file_, path); }

std::vector<PropertyList> Session::Items(const char* countName, const char* itemName) {
  std::vector<PropertyList> items;
  int64_t count = 0;
  try {
    count = IntegerOf(file_.Get(countName), 0);
  } catch (const CallError& e) {
    throw ModuleFailure("list", e, countName);
  }
  for (int64_t i = 1; i <= count; ++i) {
    const std::string which = std::string(itemName) + "(" + std::to_string(i) + ")";
    Object item;
    try {
      item = file_.GetObject(itemName, {i});
    } catch (const CallError& e) {
      throw ModuleFailure("list", e, which);
    }
    if (!item) throw Failure(Exit::Module, "list", std::nullopt, which + " gave no object");
    items.push_back(Properties(item, ""));
  }
  return items;
}

const std::vector<PropertyList>& Session::Signals() {
  if (!signals_) signals_ = Items("nSignals", "Signal");
  return *signals_;
}

std::vector<PropertyList> Session::Scalars() {
  if (!file_.Has("nScalars") || !file_.Has("Scalar")) return {};
  return Items("nScalars", "Scalar");
}

std::vector<Comment> Session::Comments() {
  std::vector<Comment> comments;
  if (!file_.Has("NoOfComments") || !file_.Has("FileComment")) return comments;
  try {
    const int64_t count = std::min(IntegerOf(file_.Get("NoOfComments"), 0), kMaxComments);
    const bool named = file_.Has("CommentName");
    for (int64_t i = 0; i < count; ++i) {
      const Value text = file_.Get("FileComment", {i});
      const auto* s = std::get_if<std::string>(&text);
      if (!s || s->empty()) continue;
      Comment c{i, std::nullopt, *s};
      if (named) {
        const Value name = file_.Get("CommentName", {i});
        if (const auto* n = std::get_if<std::string>(&name)) c.name = *n;
      }
      comments.push_back(std::move(c));
    }
  } catch (const CallError& e) {
    throw ModuleFailure("list", e, "comments");
  }
  return comments;
}

uint32_t Session::BlockSize() {
  try {
    return static_cast<uint32_t>(IntegerOf(file_.Get("BlockSize"), 0));
  } catch (const CallError& e) {
    throw ModuleFailure("read", e, "BlockSize");
  }
}

uint32_t Session::DataSize() {
  try {
    return static_cast<uint32_t>(IntegerOf(file_.Get("DataSize"), 0));
  } catch (const CallError& e) {
    throw ModuleFailure("read", e, "DataSize");
  }
}

size_t Session::SignalIndex(const std::string& signal) {
  const std::vector<PropertyList>& signals = Signals();
  for (size_t i = 0; i < signals.size(); ++i)
    if (TextOf(signals[i], "Name") == signal) return i;
  for (size_t i = 0; i < signals.size(); ++i)
    if (winport::EqualsNoCase(winport::Utf8ToAnsi(TextOf(signals[i], "Name")), winport::Utf8ToAnsi(signal))) return i;
  size_t number = 0;
  const auto r = std::from_chars(signal.data(), signal.data() + signal.size(), number);
  if (r.ec == std::errc() && r.ptr == signal.data() + signal.size() && number >= 1 && number <= signals.size())
    return number - 1;
  throw Failure(Exit::Usage, "read", std::nullopt, "the file has no signal \"" + signal + "\"");
}

std::unique_ptr<Series> Session::OpenSeries(size_t index, const ReadOptions& options, std::string* note) {
  const std::vector<PropertyList>& signals = Signals();
  const uint32_t blockSize = BlockSize(), dataSize = DataSize();
  Layout layout = Layout::Of(signals.at(index), blockSize, dataSize);
  if (options.readEx) {
    int64_t can = 0;
    try {
      if (file_.Has("CanDoReadEx") && file_.Has("ReadEx")) can = IntegerOf(file_.Get("CanDoReadEx"), 0);
    } catch (const CallError& e) {
      throw ModuleFailure("read", e, "CanDoReadEx");
    }
    if (can != 1) throw Failure(Exit::Module, "read", std::nullopt, "the module cannot ReadEx (CanDoReadEx 0)");
  }
  std::unique_ptr<Series> times;
  if (!layout.xSignal.empty() && !options.readEx) {
    std::optional<size_t> timeIndex;
    for (size_t i = 0; i < signals.size() && !timeIndex; ++i)
      if (TextOf(signals[i], "Name") == layout.xSignal) timeIndex = i;
    if (timeIndex && *timeIndex != index) {
      ReadOptions plain = options;
      times = std::make_unique<Series>(file_, Layout::Of(signals[*timeIndex], blockSize, dataSize), blockSize, plain,
                                       nullptr);
    } else if (note) {
      *note = "signal \"" + layout.name + "\": its time signal \"" + layout.xSignal +
              "\" is missing; times from XOffset and XFactor";
    }
    if (!times) layout.xSignal.clear();
  }
  return std::make_unique<Series>(file_, std::move(layout), blockSize, options, std::move(times));
}

Session::ReadScope::ReadScope(Session& session) : session_(session) {
  try {
    session_.file_.Call("Open");
  } catch (const CallError& e) {
    throw ModuleFailure("read", e, "Open");
  }
}

Session::ReadScope::~ReadScope() {
  try {
    session_.file_.Call("Close");
  } catch (const CallError&) {
    // Closing what was read is all that is left to do.
  }
}

namespace {

// A module's file as an absolute path; a name the loader searches for stays as it is.
std::string ResolvedPath(const std::string& module) {
  char real[PATH_MAX];
  if (access(module.c_str(), F_OK) == 0 && realpath(module.c_str(), real)) return real;
  return module;
}

}  // namespace

void RegisterModule(const std::string& module, bool unregister) {
  const std::string step = unregister ? "unregister" : "register";
  const std::string path = ResolvedPath(module);
  HMODULE handle = LoadLibraryA(winport::Utf8ToAnsi(path).c_str());
  if (!handle) throw Failure(Exit::Activation, step, std::nullopt, winport::LastLoadError());
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto function = reinterpret_cast<HRESULT (*)()>(GetProcAddress(handle, entry));
  if (!function) {
    FreeLibrary(handle);
    throw Failure(Exit::Activation, step, std::nullopt, path + " does not export " + entry);
  }
  const HRESULT hr = function();
  FreeLibrary(handle);
  if (FAILED(hr)) throw Failure(Exit::Module, step, hr, std::string(entry) + " of " + path + " failed");
}

}  // namespace host

namespace host {

std::vector<std::string> ModulesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 6 && name.rfind("lib", 0) == 0 && name.compare(name.size() - 3, 3, ".so") == 0)
        names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> modules;
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    // The outside libraries' stand-ins lie beside the modules: only what registers is a module.
    HMODULE handle = LoadLibraryA(winport::Utf8ToAnsi(path).c_str());
    if (!handle) continue;
    if (GetProcAddress(handle, "DllRegisterServer")) modules.push_back(path);
    FreeLibrary(handle);
  }
  if (modules.empty()) throw Failure(Exit::Activation, "register", std::nullopt, "no import module in " + folder);
  return modules;
}

std::string ModuleFile(const std::string& module) {
  // The ProgID of a registered class: the module that serves it.
  CLSID clsid{};
  const std::u16string wide = winport::Utf8ToUtf16(module);
  if (module.find('/') == std::string::npos && SUCCEEDED(CLSIDFromProgID(wide.c_str(), &clsid)))
    if (const std::string path = winport::InprocServerPath(clsid); !path.empty()) return winport::AnsiToUtf8(path);
  if (access(module.c_str(), F_OK) == 0) return ResolvedPath(module);
  HMODULE handle = LoadLibraryA(winport::Utf8ToAnsi(module).c_str());
  if (!handle)
    throw Failure(Exit::Activation, "version", std::nullopt,
                  module + " is neither a registered ProgID nor a module: " + winport::LastLoadError());
  char path[4096];
  const DWORD n = GetModuleFileNameA(handle, path, sizeof path);
  FreeLibrary(handle);
  if (n == 0 || n >= sizeof path)
    throw Failure(Exit::Activation, "version", std::nullopt, module + ": the module's file cannot be found");
  return winport::AnsiToUtf8(std::string(path, n));
}

std::optional<ModuleVersion> VersionOf(const std::string& file) {
  const std::string ansi = winport::Utf8ToAnsi(file);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(ansi.c_str(), &handle);
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoA(ansi.c_str(), handle, size, block.data())) return std::nullopt;
  ModuleVersion v;
  void* value = nullptr;
  UINT length = 0;
  auto dotted = [](DWORD ms, DWORD ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
           std::to_string(ls & 0xFFFF);
  };
  if (VerQueryValueA(block.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    v.fileVersion = dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    v.productVersion = dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  }
  if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    std::memcpy(&v.language, value, 2);
    std::memcpy(&v.codePage, static_cast<const uint8_t*>(value) + 2, 2);
  }
  char table[16];
  std::snprintf(table, sizeof table, "%04X%04X", v.language, v.codePage);
  // The names a version resource holds by convention, and the self-registration mark.
  static constexpr const char* kNames[] = {
      "Comments",       "CompanyName",     "FileDescription",  "FileVersion", "InternalName",
      "LegalCopyright", "LegalTrademarks", "OLESelfRegister",  "OriginalFilename",
      "PrivateBuild",   "ProductName",     "ProductVersion",   "SpecialBuild",
  };
  for (const char* name : kNames) {
    const std::string path = std::string("\\StringFileInfo\\") + table + "\\" + name;
    if (VerQueryValueA(block.data(), path.c_str(), &value, &length) && length >= 1)
      v.strings.emplace_back(name, winport::AnsiToUtf8(std::string(static_cast<const char*>(value), length - 1)));
  }
  return v;
}

}  // namespace host
