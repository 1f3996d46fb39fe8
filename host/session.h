// One import as the host runs it: the module's file object created by
// ProgID, configured (host version, host variables, parameter block), the
// file imported, its file properties, signals, scalars and comments read, and
// its samples streamed. Everything goes by member name through IDispatch, so
// any form of the contract works; members an object lacks are left out.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/object.h"
#include "platform/win32/registry.h"
#include "host/samples.h"
#include "host/value.h"

namespace host {

struct ImportOptions {
  std::string user;                                            // ImportFile's strUser
  std::vector<std::pair<std::string, std::string>> variables;  // written into the Variables key first
  std::optional<int32_t> zpVersion;                            // put as ZpVersion; selects the Variables key
  std::optional<std::vector<uint8_t>> parameters;              // the block whose address is put as Parameters
};

struct Comment {
  int64_t index = 0;
  std::optional<std::string> name;  // none without CommentName or for a null one
  std::string text;
};

// Whether the contract's `long` of this name is an unsigned 32-bit size or position.
bool IsUnsigned32(std::string_view name);
// "Software\Zephanor\6.0\Variables" below host version 1792 (7.0), else the 7.0 key.
std::string VariablesKeyFor(int32_t hostVersion);

class Session {
 public:
  // Creates the file object of `progId`; Failure (Exit::Activation) when that fails.
  explicit Session(const std::string& progId);
  // ReleaseFile after an import, the object released, unused modules
  // unloaded, the host variables that Configure wrote put back.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Object& File() { return file_; }
  int32_t HostVersion() const { return hostVersion_; }

  // Returns notes on options the module cannot take (a member it lacks).
  // The host variables given are written for this session only: each is put
  // back as it was (or removed) when the session ends.
  std::vector<std::string> Configure(const ImportOptions& options);
  // IsValid(path); Failure when the call fails.
  int64_t IsValid(const std::string& path);
  // Deletes ERRNO and ERRMSG, then ImportFile; a failure carries them.
  void Import(const std::string& path, const std::string& user);
  // A host variable of the current Variables key.
  std::optional<std::string> Variable(const std::string& name) const;

  // Every property of the file object without arguments, in the object's
  // order, and Name(0), IsValid(path) and DaffExists(path); not Parameters
  // (an address) and not FileInfo (a dialog).
  PropertyList FileProperties(const std::string& path);
  // Each signal's properties in index order; BitState as the list of value
  // texts BitState(0 .. BitState(-1) - 1).
  const std::vector<PropertyList>& Signals();
  std::vector<PropertyList> Scalars();
  // The comments with a text, FileComment(i) for i below NoOfComments.
  std::vector<Comment> Comments();

  // The signal of this name (or 1-based number); Failure (Exit::Usage) when none.
  size_t SignalIndex(const std::string& signal);
  // A series over the signal's samples; the file must be open (ReadScope).
  // `note` receives what the host did instead when the time signal is missing.
  std::unique_ptr<Series> OpenSeries(size_t index, const ReadOptions& options, std::string* note = nullptr);
  uint32_t BlockSize();
  uint32_t DataSize();

  // Open ... Close around reading.
  class ReadScope {
   public:
    explicit ReadScope(Session& session);
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

   private:
    Session& session_;
  };

 private:
  PropertyList Properties(Object& object, const std::string& path);
  // The properties of the objects item(1) .. item(count).
  std::vector<PropertyList> Items(const char* countName, const char* itemName);

  // A host variable as it was before Configure wrote it: put back when the
  // session ends, so that a variable given for one run holds for that run only.
  struct SavedVariable {
    std::string name;  // ANSI
    std::optional<std::pair<DWORD, std::vector<BYTE>>> before;  // type and data; none: it did not exist
  };
  void RestoreVariables();

  Object file_;
  std::string variablesKey_;
  std::vector<SavedVariable> saved_;
  bool imported_ = false;
  int32_t hostVersion_ = 1536;
  std::vector<uint8_t> parameters_;  // the block the module was given, alive as long as the object
  std::optional<std::vector<PropertyList>> signals_;
};

// Registers (or unregisters) a module by path or by its Windows name ("X.dll"):
// loads it, calls DllRegisterServer (or DllUnregisterServer) and frees it.
void RegisterModule(const std::string& module, bool unregister);
// The import modules in `folder`: each lib*.so that exports DllRegisterServer,
// by name; Failure (Exit::Activation) when the folder holds none.
std::vector<std::string> ModulesIn(const std::string& folder);
// The file of a module given by the ProgID of one of its registered classes,
// by path, or by its Windows name; Failure (Exit::Activation) when none is found.
std::string ModuleFile(const std::string& module);

// A module's version resource, as GetFileVersionInfoA and VerQueryValueA give it.
struct ModuleVersion {
  std::string fileVersion, productVersion;  // "a.b.c.d" of the fixed file information
  uint16_t language = 0, codePage = 0;
  std::vector<std::pair<std::string, std::string>> strings;  // the standard names present, UTF-8
};
// None when the file carries no version information.
std::optional<ModuleVersion> VersionOf(const std::string& file);

}  // namespace host
