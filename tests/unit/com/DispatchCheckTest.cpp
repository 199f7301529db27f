// Checking a late-bound call against a member's description, and looking members up.

#include <gtest/gtest.h>

#include "platform/com/TypeInfo.h"

namespace varnkit::com {
namespace {

constexpr ParamDesc kOpenParams[] = {{"DeviceID", VarType::I4}};
constexpr ParamDesc kSendParams[] = {{"Data", VarType::String}, {"Len", VarType::I4}};
constexpr MemberDesc kMembers[] = {
    {1, "Status", nullptr, MemberKind::Property, VarType::I4, {}},
    {2, "HMidiThru", "HMIDI", MemberKind::Property, VarType::I4, {}},
    {3, "InOpen", nullptr, MemberKind::Method, VarType::I4, kOpenParams},
    {8, "SendSysEx", nullptr, MemberKind::Method, VarType::I4, kSendParams},
};
constexpr InterfaceDesc kInterface{guid("{11111111-2222-3333-4444-555555555555}"), "_DTest", "test",
                                   kMembers};

HRESULT check(DISPID id, uint16_t flags, std::initializer_list<Variant> args,
              PreparedCall* out = nullptr) {
  PreparedCall call;
  const HRESULT hr =
      prepareCall(*findMember(kInterface, id), flags, std::span(args.begin(), args.size()), call);
  if (out) *out = call;
  return hr;
}

TEST(DispatchCheck, MembersAreFoundByIdAndByEitherNameWhateverTheCase) {
  EXPECT_EQ(findMember(kInterface, 3)->name, std::string("InOpen"));
  EXPECT_EQ(findMember(kInterface, 7), nullptr);
  EXPECT_EQ(findMember(kInterface, "hmidithru")->id, 2);
  EXPECT_EQ(findMember(kInterface, "HMIDI")->id, 2);
  EXPECT_EQ(findMember(kInterface, "INOPEN")->id, 3);
  EXPECT_EQ(findMember(kInterface, "InOpe"), nullptr);
  EXPECT_EQ(findMember(kInterface, ""), nullptr);
}

TEST(DispatchCheck, ArgumentsAreConvertedToTheDeclaredTypes) {
  PreparedCall call;
  EXPECT_EQ(check(3, DISPATCH_METHOD, {Variant(int16_t(4))}, &call), S_OK);
  EXPECT_EQ(call.args[0], Variant(int32_t(4)));
  EXPECT_EQ(check(8, DISPATCH_METHOD, {Variant(int32_t(5)), Variant("3")}, &call), S_OK);
  EXPECT_EQ(call.args[0], Variant("5"));
  EXPECT_EQ(call.args[1], Variant(int32_t(3)));
}

TEST(DispatchCheck, BadArgumentsComeBackAsResultCodes) {
  EXPECT_EQ(check(3, DISPATCH_METHOD, {}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(check(3, DISPATCH_METHOD, {Variant(int32_t(1)), Variant(int32_t(2))}),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(check(3, DISPATCH_METHOD, {Variant("one")}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(check(3, DISPATCH_METHOD, {Variant(1e12)}), DISP_E_OVERFLOW);
  EXPECT_EQ(check(3, DISPATCH_METHOD, {Variant()}), DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(check(3, DISPATCH_PROPERTYPUT, {Variant(int32_t(1))}), DISP_E_MEMBERNOTFOUND);
}

TEST(DispatchCheck, PropertiesAreReadWithoutArgumentsAndWrittenWithOne) {
  PreparedCall call;
  EXPECT_EQ(check(1, DISPATCH_PROPERTYGET, {}, &call), S_OK);
  EXPECT_FALSE(call.put);
  EXPECT_EQ(check(1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &call), S_OK);
  EXPECT_EQ(check(1, DISPATCH_PROPERTYPUT, {Variant(2.0)}, &call), S_OK);
  EXPECT_TRUE(call.put);
  EXPECT_EQ(call.args[0], Variant(int32_t(2)));
  EXPECT_EQ(check(1, DISPATCH_PROPERTYGET, {Variant(int32_t(1))}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(check(1, DISPATCH_PROPERTYPUT, {}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(check(2, DISPATCH_PROPERTYPUT, {Variant("x")}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(check(1, 0, {}), DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace varnkit::com
