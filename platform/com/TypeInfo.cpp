#include "platform/com/TypeInfo.h"

#include "platform/com/Text.h"

namespace varnkit::com {
namespace {

HRESULT convert(std::span<const ParamDesc> params, std::span<const Variant> args,
                PreparedCall& call) {
  if (args.size() != params.size() || args.size() > kMaxParams) return DISP_E_BADPARAMCOUNT;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i].empty()) return DISP_E_PARAMNOTOPTIONAL;
    if (const HRESULT hr = changeType(args[i], params[i].type, call.args[i]); failed(hr)) return hr;
  }
  return S_OK;
}

}  // namespace

const MemberDesc* findMember(const InterfaceDesc& desc, DISPID id) noexcept {
  for (const MemberDesc& member : desc.members)
    if (member.id == id) return &member;
  return nullptr;
}

const MemberDesc* findMember(const InterfaceDesc& desc, std::string_view name) noexcept {
  for (const MemberDesc& member : desc.members) {
    if (sameName(member.name, name)) return &member;
    if (member.ownName != nullptr && sameName(member.ownName, name)) return &member;
  }
  return nullptr;
}

HRESULT prepareCall(const MemberDesc& member, uint16_t flags, std::span<const Variant> args,
                    PreparedCall& call) noexcept {
  call.put = false;
  if (member.kind == MemberKind::Method) {
    if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
    return convert(member.params, args, call);
  }
  if ((flags & DISPATCH_PROPERTYPUT) != 0) {
    const ParamDesc value{"value", member.type};
    call.put = true;
    return convert(std::span(&value, 1), args, call);
  }
  if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
  return args.empty() ? S_OK : DISP_E_BADPARAMCOUNT;
}

}  // namespace varnkit::com
