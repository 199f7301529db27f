// Identifiers and variants: the values every call of the component runtime carries.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/com/Guid.h"
#include "platform/com/Variant.h"

namespace varnkit::com {
namespace {

TEST(Guid, ReadsAndWritesTheBracedFormInUpperCase) {
  const auto id = parseGuid("{ee5f8e44-fcbb-11d3-b76c-dc249af7be36}");
  ASSERT_TRUE(id);
  EXPECT_EQ(id->Data1, 0xEE5F8E44u);
  EXPECT_EQ(id->Data2, 0xFCBB);
  EXPECT_EQ(id->Data3, 0x11D3);
  EXPECT_EQ(id->Data4[0], 0xB7);
  EXPECT_EQ(id->Data4[7], 0x36);
  EXPECT_EQ(toString(*id), "{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36}");
  EXPECT_EQ(*id, guid("{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36}"));
  EXPECT_NE(*id, guid("{EE5F8E45-FCBB-11D3-B76C-DC249AF7BE36}"));
}

TEST(Guid, RefusesEverythingButTheBracedForm) {
  for (const char* text :
       {"", "{}", "EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36", "{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36",
        "{EE5F8E44FCBB-11D3-B76C-DC249AF7BE366}", "{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE3G}",
        "{EE5F8E44-FCBB-11D3-B76CDC249AF7BE36-}", "{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36} ",
        "{+E5F8E44-FCBB-11D3-B76C-DC249AF7BE36}"})
    EXPECT_FALSE(parseGuid(text)) << text;
}

Variant converted(const Variant& in, VarType to, HRESULT expected = S_OK) {
  Variant out;
  EXPECT_EQ(changeType(in, to, out), expected);
  return out;
}

TEST(Variant, NumbersConvertIntoEachOtherWhereTheyFit) {
  EXPECT_EQ(converted(Variant(int32_t(-32768)), VarType::I2), Variant(int16_t(-32768)));
  converted(Variant(int32_t(32768)), VarType::I2, DISP_E_OVERFLOW);
  EXPECT_EQ(converted(Variant(int16_t(-5)), VarType::I4), Variant(int32_t(-5)));
  EXPECT_EQ(converted(Variant(int32_t(7)), VarType::R8), Variant(7.0));
  EXPECT_EQ(converted(Variant(true), VarType::I4), Variant(int32_t(-1)));
  EXPECT_EQ(converted(Variant(int32_t(0)), VarType::Bool), Variant(false));
  EXPECT_EQ(converted(Variant(int16_t(3)), VarType::Bool), Variant(true));
}

TEST(Variant, DoublesRoundHalfToEvenAndOverflowWhenTheyCannotBeIntegers) {
  EXPECT_EQ(converted(Variant(2.5), VarType::I4), Variant(int32_t(2)));
  EXPECT_EQ(converted(Variant(3.5), VarType::I4), Variant(int32_t(4)));
  EXPECT_EQ(converted(Variant(-2.5), VarType::I2), Variant(int16_t(-2)));
  EXPECT_EQ(converted(Variant(2.6), VarType::I4), Variant(int32_t(3)));
  converted(Variant(2147483648.0), VarType::I4, DISP_E_OVERFLOW);
  converted(Variant(std::nan("")), VarType::I4, DISP_E_OVERFLOW);
  converted(Variant(std::numeric_limits<double>::infinity()), VarType::I2, DISP_E_OVERFLOW);
}

TEST(Variant, TextReadsAsANumberOnlyWhenItIsOne) {
  EXPECT_EQ(converted(Variant(" 42 "), VarType::I4), Variant(int32_t(42)));
  EXPECT_EQ(converted(Variant("-1.5"), VarType::R8), Variant(-1.5));
  EXPECT_EQ(converted(Variant("True"), VarType::Bool), Variant(true));
  converted(Variant("abc"), VarType::I4, DISP_E_TYPEMISMATCH);
  converted(Variant("12abc"), VarType::I4, DISP_E_TYPEMISMATCH);
  converted(Variant(""), VarType::I2, DISP_E_TYPEMISMATCH);
  converted(Variant("70000"), VarType::I2, DISP_E_OVERFLOW);
  converted(Variant("1e999"), VarType::R8, DISP_E_OVERFLOW);
}

TEST(Variant, NumbersWriteAsText) {
  EXPECT_EQ(converted(Variant(int32_t(-17)), VarType::String), Variant("-17"));
  EXPECT_EQ(converted(Variant(0.25), VarType::String), Variant("0.25"));
  EXPECT_EQ(converted(Variant(false), VarType::String), Variant("False"));
  EXPECT_EQ(converted(Variant("as is"), VarType::String), Variant("as is"));
}

TEST(Variant, EmptyConvertsToNothingButItself) {
  for (VarType to : {VarType::I2, VarType::I4, VarType::R8, VarType::String, VarType::Bool})
    converted(Variant(), to, DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(converted(Variant(), VarType::Empty).empty());
  converted(Variant(int32_t(1)), VarType::Empty, DISP_E_TYPEMISMATCH);
}

}  // namespace
}  // namespace varnkit::com
