#pragma once
// Descriptions of a type library: its enumerations, dispatch interfaces with their members,
// and the classes that implement them. A module keeps its library as such constant tables;
// registration copies them into the registry, and dispatch checks calls against them.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/com/Dispatch.h"
#include "platform/com/Guid.h"
#include "platform/com/Variant.h"

namespace varnkit::com {

struct ParamDesc {
  const char* name;
  VarType type;
};

enum class MemberKind : uint8_t { Method, Property };

struct MemberDesc {
  DISPID id;
  const char* name;  // as the type library names it
  // as the object's own member table names it; null when it is the same
  const char* ownName;
  MemberKind kind;
  VarType type;  // of the result or the property; Empty for none
  std::span<const ParamDesc> params;
};

struct InterfaceDesc {
  IID iid;
  const char* name;
  const char* description;
  std::span<const MemberDesc> members;
};

struct EnumConstant {
  const char* name;
  int32_t value;
};

struct EnumDesc {
  const char* name;
  std::span<const EnumConstant> constants;
};

struct CoClassDesc {
  CLSID clsid;
  const char* name;
  const char* description;
  const InterfaceDesc* dispatch;
  const InterfaceDesc* events;
};

// One declaration of a library: exactly one of the three is set.
struct TypeDecl {
  const EnumDesc* enumeration = nullptr;
  const InterfaceDesc* dispinterface = nullptr;
  const CoClassDesc* coclass = nullptr;
};

struct TypeLibDesc {
  GUID libid;
  const char* name;
  uint16_t major;
  uint16_t minor;
  uint32_t lcid;
  const char* helpString;
  const char* helpFile;
  std::span<const TypeDecl> decls;  // in declaration order
};

// The member with dispatch id id; null when there is none.
const MemberDesc* findMember(const InterfaceDesc& desc, DISPID id) noexcept;
// The member whose type-library name or own name is name, letter case ignored; null when
// there is none.
const MemberDesc* findMember(const InterfaceDesc& desc, std::string_view name) noexcept;

// The most parameters a member may declare.
inline constexpr std::size_t kMaxParams = 8;

// A call's arguments, converted to the member's types, and whether it writes a property.
struct PreparedCall {
  bool put = false;
  std::array<Variant, kMaxParams> args;
};

// Checks a call of member with flags and args, converting the arguments into call. The
// result codes are those IDispatch::Invoke names. Any thread; allocates only for strings.
HRESULT prepareCall(const MemberDesc& member, uint16_t flags, std::span<const Variant> args,
                    PreparedCall& call) noexcept;

}  // namespace varnkit::com
