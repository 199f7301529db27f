#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "platform/Error.h"
#include "tests/gui/toolkit/FakeDrive.h"
#include "tests/support/WavWriter.h"
#include "ui/toolkit/DirList.h"
#include "ui/toolkit/DriveList.h"
#include "ui/toolkit/Drives.h"
#include "ui/toolkit/FileList.h"

namespace varnkit::ui {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& file) {
  std::ofstream(file) << "x";
}

using testing::FakeDrive;

TEST(Drives, OnlyRealVolumesAreDrivesWithTheRootFirst) {
  const std::vector<std::string> drives = drivesOfMounts(
      "proc /proc proc rw 0 0\n"
      "overlay / overlay rw 0 0\n"
      "tmpfs /tmp tmpfs rw 0 0\n"
      "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
      "/dev/sdb1 /media/my\\040stick vfat rw 0 0\n"
      "/dev/sda2 /home ext4 rw 0 0\n"
      "/dev/sda2 /home ext4 rw 0 0\n"
      "nas:/music /mnt/nas nfs4 rw 0 0\n"
      "/dev/loop3 /snap/core squashfs ro 0 0\n"
      "broken line\n");
  EXPECT_EQ(drives, (std::vector<std::string>{"/", "/home", "/media/my stick", "/mnt/nas"}));
  EXPECT_EQ(driveOf("/home/me/kits", drives), "/home");
  EXPECT_EQ(driveOf("/homework", drives), "/");
  EXPECT_EQ(driveOf("kits", drives), "");

  FakeDrive usb;
  EXPECT_EQ(listPath(""), "/");
  EXPECT_EQ(listPath("///"), "/");
  EXPECT_EQ(listPath(usb.root()), usb.root() + "/");  // a slash only at a drive root
  EXPECT_EQ(listPath(usb.root() + "/a/../b/"), usb.root() + "/b");
}

TEST(DriveList, ChoosingAnotherDriveRaisesChangeAndTheSameDriveDoesNot) {
  FakeDrive usb;
  DriveList list;
  list.setDrive("/");
  QSignalSpy changes(&list, &DriveList::Change);
  list.setDrive(usb.root() + "/deep/folder");
  list.setDrive(usb.root());
  EXPECT_EQ(list.Drive(), usb.root());
  EXPECT_EQ(changes.count(), 1);
  EXPECT_THROW(list.setDrive("no-drive"), Error);
  QTest::keyClick(&list, Qt::Key_Up);  // the user picks "/"
  EXPECT_EQ(list.Drive(), "/");
  EXPECT_EQ(changes.count(), 2);
}

class FolderTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return dir.file(name); }
  void folders(std::initializer_list<const char*> names) {
    for (const char* n : names) fs::create_directories(dir.path() / n);
  }

  testing::TempDir dir;
};

TEST_F(FolderTest, TheFolderListShowsVisibleSubfoldersAndKeepsThemWhenAFolderCannotBeOpened) {
  folders({"kits/b", "kits/A", "kits/.cache"});
  touch(dir.path() / "kits" / "x.wav");
  DirList list;
  QSignalSpy changes(&list, &DirList::Change);
  list.setPath(path("kits") + "/");
  list.setPath(path("kits"));  // the same folder again raises Change again
  EXPECT_EQ(changes.count(), 2);
  EXPECT_EQ(list.Path(), path("kits"));
  EXPECT_EQ(list.subfolders(), (std::vector<std::string>{path("kits/A"), path("kits/b")}));
  EXPECT_EQ(list.topLevelItem(0)->text(0), "/");
  for (const std::string& bad : {path("gone"), path("kits/x.wav"), std::string("relative")}) {
    try {
      list.setPath(bad);
      ADD_FAILURE() << bad << " was opened";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kPathNotFound);
    }
  }
  EXPECT_EQ(list.Path(), path("kits"));
  EXPECT_EQ(list.subfolders().size(), 2u);
  EXPECT_EQ(changes.count(), 2);
}

TEST_F(FolderTest, DoubleClickOrEnterOpensAFolderAndAVanishedOneDropsOut) {
  folders({"kits/one/inner", "kits/two"});
  DirList list;
  list.show();
  list.setPath(path("kits"));
  const auto child = [&](int i) {
    return list.visualItemRect(list.currentItem()->child(i)).center();
  };
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, child(0));
  EXPECT_EQ(list.Path(), path("kits/one"));
  list.setCurrentItem(list.currentItem()->parent());
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(list.Path(), path("kits"));
  fs::remove(dir.path() / "kits" / "two");
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, child(1));
  EXPECT_EQ(list.Path(), path("kits"));
  EXPECT_EQ(list.subfolders(), std::vector<std::string>{path("kits/one")});
}

TEST_F(FolderTest, ADriveRemembersItsLastFolderWhileThatExists) {
  FakeDrive usb;
  fs::create_directories(usb.root() + "/samples");
  DirList list;
  list.setPath(usb.root() + "/samples");
  list.setPath(dir.path().string());
  EXPECT_EQ(currentFolder(usb.root()), usb.root() + "/samples");
  EXPECT_EQ(currentFolder("/"), dir.path().string());
  fs::remove(usb.root() + "/samples");
  EXPECT_EQ(currentFolder(usb.root()), usb.root() + "/");
}

TEST_F(FolderTest, TheFileListHoldsMatchingOrdinaryFilesOnlyInNameOrder) {
  for (const char* f : {"kick.wav", "SNARE.WAV", "Hat.Wav", "notes.txt", ".hidden.wav"}) {
    touch(dir.path() / f);
  }
  folders({"folder.wav"});
  ASSERT_EQ(::mkfifo(path("pipe.wav").c_str(), 0600), 0);
  FileList list;
  list.setPattern("*.wav");
  list.setPath(dir.path().string() + "/");
  EXPECT_EQ(list.Path(), dir.path().string());
  ASSERT_EQ(list.ListCount(), 3);
  EXPECT_EQ(list.List(0) + list.List(1) + list.List(2), "Hat.Wavkick.wavSNARE.WAV");
  EXPECT_EQ(list.FileName(), "");
  EXPECT_THROW(list.List(3), Error);
  list.setPattern("*.WAV;;*.txt;*.wav");  // a name two patterns match is listed once
  EXPECT_EQ(list.Pattern(), "*.WAV;;*.txt;*.wav");
  ASSERT_EQ(list.ListCount(), 4);
  EXPECT_EQ(list.List(0) + list.List(1) + list.List(2) + list.List(3),
            "Hat.Wavkick.wavnotes.txtSNARE.WAV");
}

TEST_F(FolderTest, SelectingRaisesClickARefreshSelectsNothingAndAVanishedFolderKeepsTheList) {
  for (const char* f : {"a.wav", "b.wav"}) touch(dir.path() / f);
  FileList list;
  list.setPattern("*.wav");
  list.setPath(dir.path().string());
  list.show();
  QSignalSpy clicks(&list, &FileList::Click);
  list.setSelected(1, true);
  list.setSelected(1, false);
  EXPECT_EQ(list.FileName(), "");
  const QPoint first = list.visualItemRect(list.item(0)).center();
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, first);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, first);  // to be heard again
  EXPECT_EQ(clicks.count(), 3);
  EXPECT_EQ(list.FileName(), "a.wav");

  touch(dir.path() / "c.wav");
  list.Refresh();
  EXPECT_EQ(list.ListCount(), 3);
  EXPECT_EQ(list.FileName(), "");
  list.setSelected(2, true);
  fs::remove_all(dir.path());
  EXPECT_THROW(list.Refresh(), Error);
  EXPECT_THROW(list.setPattern("*.aif"), Error);
  EXPECT_EQ(list.Pattern(), "*.wav");
  EXPECT_EQ(list.FileName(), "c.wav");
}

}  // namespace
}  // namespace varnkit::ui
