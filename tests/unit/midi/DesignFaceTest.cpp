// The controls' design-time face, painted into an image.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <functional>
#include <memory>

#include "midi/MidiInCtrl.h"
#include "midi/MidiOutCtrl.h"

namespace varnkit::midictl {
namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

// Text needs a GUI application; it lives for the whole run and goes before the exit, so
// that the font library lets go of everything.
class GuiApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "midi_face_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};
const auto* const kApplication = ::testing::AddGlobalTestEnvironment(new GuiApplication);

class DesignFace : public ::testing::Test {
 protected:
  // A white image with a face painted on it.
  static QImage paint(const std::function<void(QPainter&)>& face) {
    QImage image(120, 60, QImage::Format_RGB32);
    image.fill(kWhite);
    QPainter painter(&image);
    face(painter);
    return image;
  }

  struct Count {
    int outsideChanged = 0, inside = 0, blue = 0, neither = 0;
    int lowestBlueRow = -1, rightmostBlueColumn = -1;
  };
  static Count count(const QImage& image, const QRect& bounds) {
    Count c;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        if (!bounds.contains(x, y)) {
          c.outsideChanged += pixel != kWhite;
          continue;
        }
        ++c.inside;
        c.neither += pixel != kBlue && pixel != kBlack;
        if (pixel != kBlue) continue;
        ++c.blue;
        c.lowestBlueRow = std::max(c.lowestBlueRow, y - bounds.top());
        c.rightmostBlueColumn = std::max(c.rightmostBlueColumn, x - bounds.left());
      }
    }
    return c;
  }
};

TEST_F(DesignFace, IsBlueTextAtTheTopLeftOnBlackClippedToTheRectangle) {
  const QRect bounds(10, 8, 80, 40);
  CMidi_INCtrl in;
  CMidi_OUTCtrl out;
  const Count inFace = count(paint([&](QPainter& p) { in.OnDraw(p, bounds); }), bounds);
  const Count outFace = count(paint([&](QPainter& p) { out.OnDraw(p, bounds); }), bounds);
  for (const Count& face : {inFace, outFace}) {
    EXPECT_EQ(face.outsideChanged, 0);
    EXPECT_EQ(face.neither, 0);  // not smoothed: every pixel pure blue or black
    EXPECT_GT(face.blue, 10);
    EXPECT_LT(face.lowestBlueRow, bounds.height() / 2);
    EXPECT_LT(face.rightmostBlueColumn, bounds.width() / 2);
  }
  EXPECT_GT(outFace.rightmostBlueColumn, inFace.rightmostBlueColumn);  // three letters

  const QRect tiny(50, 30, 6, 5);
  const Count clipped = count(paint([&](QPainter& p) { out.OnDraw(p, tiny); }), tiny);
  EXPECT_EQ(clipped.outsideChanged, 0);
  EXPECT_EQ(clipped.neither, 0);
  EXPECT_EQ(clipped.inside, 30);
}

}  // namespace
}  // namespace varnkit::midictl
