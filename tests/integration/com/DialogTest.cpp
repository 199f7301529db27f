// The module's windows on the offscreen platform: the About box shown by the input control's
// AboutBox member, the two property pages, and the toolbox bitmaps.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "platform/com/ClassFactory.h"
#include "platform/com/PropertyPages.h"
#include "platform/com/Resources.h"
#include "tests/integration/com/ComTestSupport.h"

namespace varnkit::com::testing {
namespace {

class ModuleDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "com_dialog_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  }

  template <class I>
  ComPtr<I> create(const CLSID& clsid) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(module->getClassObject(clsid, IClassFactory::iid, factory.put()), S_OK);
    ComPtr<I> object;
    EXPECT_EQ(factory->CreateInstance(nullptr, I::iid, object.put()), S_OK);
    return object;
  }

  // Runs inspect on the modal dialog once it shows, then closes it with close.
  static void whenModal(std::function<void(QDialog&)> inspect,
                        std::function<void(QDialog&)> close) {
    QTimer::singleShot(0, [inspect, close] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      inspect(*dialog);
      close(*dialog);
    });
  }

  std::shared_ptr<Module> module = loadModule();
};

TEST_F(ModuleDialogs, TheAboutBoxIsModalWithItsCaptionAndOneDefaultButton) {
  ComPtr<IDispatch> in = create<IDispatch>(kMI);
  bool seen = false;
  whenModal(
      [&](QDialog& box) {
        seen = true;
        EXPECT_EQ(box.windowTitle(), "About Midi I/O Control");
        EXPECT_TRUE(box.isModal());
        EXPECT_EQ(box.parentWidget(), nullptr);
        EXPECT_EQ(box.size(), QSize(297, 102));  // 198 × 63 units of 6 × 13 pixel base
        EXPECT_EQ(box.font().pointSize(), 8);
        const auto buttons = box.findChildren<QPushButton*>();
        ASSERT_EQ(buttons.size(), 1);
        EXPECT_EQ(buttons[0]->text(), "OK");
        EXPECT_TRUE(buttons[0]->isDefault());
        EXPECT_EQ(buttons[0]->geometry(), QRect(239, 11, 48, 23));
      },
      [](QDialog& box) { box.findChild<QPushButton*>()->click(); });
  Variant result(int32_t(5));
  EXPECT_EQ(in->Invoke(DISPID_ABOUTBOX, DISPATCH_METHOD, {}, &result), S_OK);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(result.empty()) << "the About box returns nothing";
}

TEST_F(ModuleDialogs, TheAboutBoxClosesWithTheWindowsCloseBoxToo) {
  ComPtr<IDispatch> in = create<IDispatch>(kMI);
  whenModal([](QDialog&) {}, [](QDialog& box) { box.close(); });
  EXPECT_EQ(in->Invoke(DISPID_ABOUTBOX, DISPATCH_METHOD, {}, nullptr), S_OK);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ModuleDialogs, ThePropertyPagesAreEmptyGeneralPagesOfTheirSizes) {
  for (auto [clsid, size] :
       {std::pair{kInPage, QSize(231, 101)}, std::pair{kOutPage, QSize(221, 107)}}) {
    ComPtr<IPropertyPage> page = create<IPropertyPage>(clsid);
    PageInfo info;
    ASSERT_EQ(page->GetPageInfo(info), S_OK);
    EXPECT_EQ(info.title, "General");
    EXPECT_EQ(QSize(info.width, info.height), size);
    ComPtr<IDispatch> control = create<IDispatch>(clsid == kInPage ? kMI : kMO);
    IUnknown* objects[] = {control.get()};
    EXPECT_EQ(page->SetObjects(objects), S_OK);

    QWidget frame;
    ASSERT_EQ(page->Activate(&frame), S_OK);
    const auto shown = frame.findChildren<QDialog*>();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0]->size(), size);
    EXPECT_EQ(shown[0]->windowTitle(), "General");
    EXPECT_TRUE(shown[0]->findChildren<QWidget*>().isEmpty()) << "no fields";
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_TRUE(frame.findChildren<QDialog*>().isEmpty());
  }
}

TEST_F(ModuleDialogs, APageWithoutAFrameShowsAsAModalDialog) {
  ComPtr<IPropertyPage> page = create<IPropertyPage>(kOutPage);
  bool seen = false;
  whenModal(
      [&](QDialog& dialog) {
        seen = true;
        EXPECT_EQ(dialog.windowTitle(), "General");
        EXPECT_EQ(dialog.size(), QSize(221, 107));
      },
      [](QDialog& dialog) { dialog.reject(); });
  EXPECT_EQ(page->Activate(nullptr), S_OK);
  EXPECT_TRUE(seen);
}

TEST_F(ModuleDialogs, TheToolboxBitmapsAre16By15InAtMost16Colours) {
  for (uint32_t id : {1u, 2u}) {
    const auto bytes = readResource(midiModule(), "BITMAP", id);
    ASSERT_TRUE(bytes) << id;
    const QImage image = QImage::fromData(QByteArray::fromStdString(*bytes), "XPM");
    ASSERT_FALSE(image.isNull()) << id;
    EXPECT_EQ(image.size(), QSize(16, 15));
    EXPECT_LE(image.colorCount(), 16);
  }
}

}  // namespace
}  // namespace varnkit::com::testing
