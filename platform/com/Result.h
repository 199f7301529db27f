#pragma once
// Result codes of the component runtime: 0 and positive for success, the classic negative
// codes for failure, so that a caller compares against numbers it already knows.

#include <cstdint>
#include <string>

namespace varnkit::com {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002);
inline constexpr HRESULT E_POINTER = HRESULT(0x80004003);
inline constexpr HRESULT E_FAIL = HRESULT(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HRESULT(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154);
inline constexpr HRESULT CO_E_DLLNOTFOUND = HRESULT(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = HRESULT(0x800401F9);
inline constexpr HRESULT RPC_E_WRONG_THREAD = HRESULT(0x8001010E);

inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = HRESULT(0x80020003);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = HRESULT(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = HRESULT(0x80020006);
inline constexpr HRESULT DISP_E_OVERFLOW = HRESULT(0x8002000A);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = HRESULT(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = HRESULT(0x8002000F);

inline constexpr HRESULT CONNECT_E_NOCONNECTION = HRESULT(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = HRESULT(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = HRESULT(0x80040202);

inline constexpr HRESULT SELFREG_E_TYPELIB = HRESULT(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = HRESULT(0x80040201);

inline constexpr bool succeeded(HRESULT hr) {
  return hr >= 0;
}
inline constexpr bool failed(HRESULT hr) {
  return hr < 0;
}

// "0x80040154", the form in which result codes are looked up.
std::string resultText(HRESULT hr);

}  // namespace varnkit::com
