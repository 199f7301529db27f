#pragma once
// Late binding: members called by dispatch id, with arguments by value, and looked up by
// name.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/com/Unknown.h"
#include "platform/com/Variant.h"

namespace varnkit::com {

using DISPID = int32_t;

// The id every control gives its About box.
inline constexpr DISPID DISPID_ABOUTBOX = -552;

// How a member is called; a property is read with either of the first two.
inline constexpr uint16_t DISPATCH_METHOD = 0x1;
inline constexpr uint16_t DISPATCH_PROPERTYGET = 0x2;
inline constexpr uint16_t DISPATCH_PROPERTYPUT = 0x4;

class IDispatch : public IUnknown {
 public:
  static constexpr IID iid = guid("{EEDA2BB4-57B3-44FB-8AA8-82A5A04C1D87}");

  // The dispatch id of the member called name, letter case ignored; DISP_E_UNKNOWNNAME when
  // there is none.
  virtual HRESULT GetIDsOfNames(std::string_view name, DISPID& id) noexcept = 0;
  // Calls member id with args in the order the member declares them; its value, if any, goes
  // to *result (result may be null). DISP_E_MEMBERNOTFOUND for an unknown id or a way of
  // calling the member does not allow, DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH,
  // DISP_E_OVERFLOW or DISP_E_PARAMNOTOPTIONAL for arguments that do not fit.
  virtual HRESULT Invoke(DISPID id, uint16_t flags, std::span<const Variant> args,
                         Variant* result) noexcept = 0;

 protected:
  ~IDispatch() = default;
};

}  // namespace varnkit::com
