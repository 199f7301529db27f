#include <gtest/gtest.h>

#include <QImage>

#include "tests/support/WavWriter.h"
#include "ui/toolkit/Picture.h"
#include "ui/toolkit/PictureBox.h"

namespace varnkit::ui {
namespace {

TEST(Picture, IdenticalBitmapsLoadAsDifferentPicturesAndSharingKeepsTheObject) {
  testing::TempDir dir;
  QImage image(13, 13, QImage::Format_RGB888);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(QString::fromStdString(dir.file("a.bmp")), "BMP"));
  ASSERT_TRUE(image.save(QString::fromStdString(dir.file("b.bmp")), "BMP"));
  const PictureRef a = LoadPicture(dir.file("a.bmp"));
  const PictureRef b = LoadPicture(dir.file("b.bmp"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->pixmap().toImage(), b->pixmap().toImage());
  EXPECT_NE(a->Handle(), b->Handle());

  PictureBox holder, shown;
  holder.setPicture(a);
  shown.setPicture(holder.picture());
  EXPECT_EQ(shown.picture()->Handle(), a->Handle());
  EXPECT_EQ(shown.picture()->pixmap().size(), QSize(13, 13));
}

TEST(Picture, AMissingOrBrokenBitmapIsAnErrorTheCallerCanIgnore) {
  testing::TempDir dir;
  std::string why;
  EXPECT_EQ(LoadPicture(dir.file("none.bmp"), &why), nullptr);
  EXPECT_NE(why.find("none.bmp"), std::string::npos);
  testing::writeFile(dir.file("bad.bmp"), {'B', 'M', 1, 2, 3});
  EXPECT_EQ(LoadPicture(dir.file("bad.bmp"), &why), nullptr);
}

}  // namespace
}  // namespace varnkit::ui
