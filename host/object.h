// An automation object as the host drives it: only by member names, with the
// argument and result types its ITypeInfo gives (or, without type
// information, the types the arguments carry).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/value.h"
#include "platform/com/automation.h"

namespace host {

// The address of the host's byte pointer, passed as VT_BYREF | VT_UNKNOWN
// (Read's and ReadEx's buffers).
struct BufferRef {
  uint8_t** pointer;
};
// An argument: converted to the member's declared type when it is called.
using Arg = std::variant<int64_t, double, std::string, BufferRef>;

// A member call that failed: the member, its HRESULT and the EXCEPINFO text.
struct CallError {
  std::string member;
  HRESULT hr;
  std::string description;
};

class Object {
 public:
  struct Member {
    std::string name;
    DISPID id = DISPID_UNKNOWN;
    bool get = false, put = false, method = false;
    std::vector<VARTYPE> params;     // of the get or method (VT_EMPTY where unknown)
    std::vector<VARTYPE> putParams;  // of the put, its value last
    VARTYPE result = VT_EMPTY;
  };

  Object() = default;
  // Takes over one reference of `object` and reads its type information.
  explicit Object(IDispatch* object);
  ~Object();
  Object(Object&& other) noexcept;
  Object& operator=(Object&& other) noexcept;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  explicit operator bool() const { return object_ != nullptr; }
  IDispatch* Raw() const { return object_; }
  // The members in the order of the type information; empty without it.
  const std::vector<Member>& Members() const { return members_; }
  // The member of that name (case-insensitive); nullptr when the object lacks it.
  const Member* Find(std::string_view name) const;
  bool Has(std::string_view name) const { return Find(name) != nullptr; }

  // Each throws CallError when Invoke fails.
  Value Get(std::string_view name, const std::vector<Arg>& args = {});
  Object GetObject(std::string_view name, const std::vector<Arg>& args = {});
  void Put(std::string_view name, const Arg& value, const std::vector<Arg>& args = {});
  Value Call(std::string_view name, const std::vector<Arg>& args = {});

 private:
  void ReadTypeInfo();
  DISPID IdOf(std::string_view name) const;
  VARIANT Invoke(std::string_view name, WORD flags, const std::vector<Arg>& args, const std::vector<VARTYPE>& types);

  IDispatch* object_ = nullptr;
  std::vector<Member> members_;
};

// A result variant as a host value (integers of every width as int64_t).
Value ValueOf(const VARIANT& v);

}  // namespace host
