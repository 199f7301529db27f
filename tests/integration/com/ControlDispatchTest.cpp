// Both controls made by class id through the registry, called by dispatch id and by name,
// without any MIDI device: properties, refused calls, connection points and property pages.

#include <gtest/gtest.h>

#include "platform/com/Events.h"
#include "platform/com/PropertyPages.h"
#include "tests/integration/com/ComTestSupport.h"

namespace varnkit::com::testing {
namespace {

class ControlDispatch : public RegisteredModule {
 protected:
  void SetUp() override {
    RegisteredModule::SetUp();
    in = create<IDispatch>(kMI);
    out = create<IDispatch>(kMO);
    ASSERT_TRUE(in && out);
  }
  Instance<IDispatch> in, out;
};

TEST_F(ControlDispatch, EveryMemberHasItsIdUnderBothNames) {
  const std::vector<std::tuple<const char*, const char*, DISPID>> inNames = {
      {"Status", "Status", 1},       {"HMidiThru", "HMIDI", 2},     {"InOpen", "InOpen", 3},
      {"InClose", "InClose", 4},     {"InCount", "MidiInCount", 5}, {"InName", "MidiInName", 6},
      {"AboutBox", "AboutBox", -552}};
  for (const auto& [typeLibName, ownName, id] : inNames) {
    EXPECT_EQ(idOf(in.get(), typeLibName), id) << typeLibName;
    EXPECT_EQ(idOf(in.get(), ownName), id) << ownName;
  }
  const std::vector<std::tuple<const char*, const char*, DISPID>> outNames = {
      {"Status", "Status", 1},         {"HMidi", "HMidi", 2},        {"OutOpen", "OutOpen", 3},
      {"OutCount", "MidiOutCount", 4}, {"SendMidi", "SendMidi", 5},  {"OutName", "MidiOutName", 6},
      {"OutClose", "OutClose", 7},     {"SendSysEx", "SendSysEx", 8}};
  for (const auto& [typeLibName, ownName, id] : outNames) {
    EXPECT_EQ(idOf(out.get(), typeLibName), id) << typeLibName;
    EXPECT_EQ(idOf(out.get(), ownName), id) << ownName;
  }
  EXPECT_EQ(idOf(in.get(), "hmidi"), 2);
  DISPID id = 0;
  EXPECT_EQ(out->GetIDsOfNames("AboutBox", id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(in->GetIDsOfNames("Message", id), DISP_E_UNKNOWNNAME);
}

TEST_F(ControlDispatch, PropertiesKeepWhatIsWrittenWithoutOpeningAnything) {
  EXPECT_EQ(get(in.get(), idOf(in.get(), "Status")), Variant(int32_t(0)));
  put(in.get(), 1, Variant(int32_t(2)));
  EXPECT_EQ(get(in.get(), 1), Variant(int32_t(2)));
  put(in.get(), idOf(in.get(), "HMIDI"), Variant(int16_t(17)));
  EXPECT_EQ(get(in.get(), idOf(in.get(), "HMidiThru")), Variant(int32_t(17)));
  EXPECT_EQ(call(in.get(), 4), Variant(int32_t(0))) << "InClose";
  EXPECT_EQ(get(in.get(), 1), Variant(int32_t(0)));

  put(out.get(), 1, Variant(int32_t(1)));
  EXPECT_EQ(get(out.get(), 1), Variant(int32_t(1)));
  put(out.get(), 2, Variant(int32_t(99)));
  EXPECT_EQ(get(out.get(), 2), Variant(int32_t(0))) << "HMidi ignores writes";
  EXPECT_EQ(call(out.get(), 7), Variant(int32_t(0))) << "OutClose";
  EXPECT_EQ(call(out.get(), 7), Variant(int32_t(0))) << "OutClose again";
}

TEST_F(ControlDispatch, SendingBeforeOpeningReportsAnInvalidHandle) {
  constexpr int32_t kInvalidHandle = 5;
  EXPECT_EQ(call(out.get(), 5,
                 {Variant(int32_t(144)), Variant(int16_t(9)), Variant(int16_t(36)),
                  Variant(int16_t(100))}),
            Variant(kInvalidHandle));
  EXPECT_EQ(call(out.get(), 8, {Variant("\xF0\x7E\xF7"), Variant(int32_t(3))}),
            Variant(kInvalidHandle));
}

TEST_F(ControlDispatch, BadCallsComeBackAsResultCodes) {
  HRESULT hr = S_OK;
  call(in.get(), 3, {}, DISPATCH_METHOD, &hr);
  EXPECT_EQ(hr, DISP_E_BADPARAMCOUNT);
  call(in.get(), 3, {Variant("first")}, DISPATCH_METHOD, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
  call(in.get(), 6, {Variant(3e10)}, DISPATCH_METHOD, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  call(in.get(), 42, {}, DISPATCH_METHOD, &hr);
  EXPECT_EQ(hr, DISP_E_MEMBERNOTFOUND);
  call(in.get(), 5, {Variant(int32_t(1))}, DISPATCH_PROPERTYPUT, &hr);
  EXPECT_EQ(hr, DISP_E_MEMBERNOTFOUND);
  call(out.get(), 5, {Variant(int32_t(144)), Variant(int16_t(0)), Variant()}, DISPATCH_METHOD, &hr);
  EXPECT_EQ(hr, DISP_E_BADPARAMCOUNT);
  call(out.get(), 5, {Variant(int32_t(144)), Variant(int16_t(0)), Variant(), Variant(int16_t(0))},
       DISPATCH_METHOD, &hr);
  EXPECT_EQ(hr, DISP_E_PARAMNOTOPTIONAL);
  call(out.get(), -552, {}, DISPATCH_METHOD, &hr);
  EXPECT_EQ(hr, DISP_E_MEMBERNOTFOUND);
}

TEST_F(ControlDispatch, TheAboutBoxNeedsAWidgetsApplication) {
  HRESULT hr = S_OK;
  call(in.get(), DISPID_ABOUTBOX, {}, DISPATCH_METHOD, &hr);
  EXPECT_EQ(hr, E_UNEXPECTED);
}

TEST_F(ControlDispatch, EachControlOffersItsEventsAndNamesItsOwnPage) {
  for (auto [control, events, page] : {std::tuple{in.get(), kDMidi_INEvents, kInPage},
                                       std::tuple{out.get(), kDMidi_OUTEvents, kOutPage}}) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control->QueryInterface(IConnectionPointContainer::iid, container.put()), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(events, point.out()), S_OK);
    IID raised;
    point->GetConnectionInterface(raised);
    EXPECT_EQ(raised, events);
    EXPECT_EQ(container->FindConnectionPoint(kDMidi_IN, point.out()), CONNECT_E_NOCONNECTION);

    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(control->QueryInterface(ISpecifyPropertyPages::iid, pages.put()), S_OK);
    std::vector<CLSID> ids;
    ASSERT_EQ(pages->GetPages(ids), S_OK);
    EXPECT_EQ(ids, std::vector<CLSID>{page});
  }
  ComPtr<IDispatch> byInterfaceId;
  EXPECT_EQ(in->QueryInterface(kDMidi_IN, byInterfaceId.put()), S_OK);
  EXPECT_EQ(byInterfaceId.get(), in.get());
}

}  // namespace
}  // namespace varnkit::com::testing
