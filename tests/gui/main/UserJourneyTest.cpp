// Journeys through the shown main window: input goes to the window, and the window system's
// focus chain decides which control gets it, as it does for a user.

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <fstream>

#include "kit/Drumkit.h"
#include "kit/Funk.h"
#include "sound/PadTrigger.h"
#include "tests/gui/main/MainWindowFixture.h"
#include "tests/support/AudioFixture.h"
#include "tests/support/FakeStream.h"
#include "tests/support/Pump.h"
#include "ui/padeditor/Diag.h"
#include "ui/toolkit/FileChooser.h"

namespace varnkit::ui {
namespace {

using namespace std::chrono_literals;
using testing::pcm16;
using testing::pumpUntil;

std::string fileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class UserJourneyTest : public testing::MainWindowTest {
 protected:
  // The window shown and active, a default kit whose pad i plays a level of its own, and
  // the kits Rock and Jazz on disk.
  Form1& open(const std::vector<std::string>* midiDevices = nullptr) {
    std::ofstream(app.path() / "default.txt") << "vst samples,default,.,VarnKit,\r\n\r\n";
    for (int i = 0; i < 9; ++i)
      std::ofstream(app.path() / "default.txt", std::ios::app)
          << i + 1 << ",0,0,\t" << 60 + i << ",P" << i << ",\tpad" << i
          << ".wav,0,127,0,0,0,0,0,0,\r\n";
    for (int i = 0; i < 9; ++i)
      testing::writeFile(app.path() / ("pad" + std::to_string(i) + ".wav"),
                         testing::makeWav(testing::constant(level(i), 2000), {}));
    writeKit("Rock", "RockKick");
    writeKit("Jazz", "JazzKick");
    Form1& f = start(midiDevices);
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
    shown.clear();  // the start's own word on a missing MIDI module
    return f;
  }
  static float level(int pad) { return 0.01f * float(pad + 1); }
  // What sounds a moment after now.
  float heard() { return SoundDevice()->render(200)[2 * 150]; }
  void silence() {
    for (int16_t i = 0; i < 9; ++i) StopPad(form->state(), i);
    SoundDevice()->render(2000);
  }

  QWindow* window() { return form->windowHandle(); }
  QPoint at(QWidget* w, QPoint inside = {-1, -1}) {
    return w->mapTo(form.get(), inside.x() < 0 ? w->rect().center() : inside);
  }
  void click(QWidget* w, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(window(), button, {}, at(w));
  }
  void key(Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(window(), k, mods); }
  void type(const std::string& text) {
    for (char c : text) QTest::keyClick(window(), c);
  }
  // Edits the kit-name box as a user does: click into it, select everything, type.
  void typeName(const std::string& name) {
    click(form->Combo1->lineEdit());
    key(Qt::Key_A, Qt::ControlModifier);
    type(name);
  }
  // Opens the kit list with its arrow; the list is a window of its own.
  QAbstractItemView* openList() {
    DropDown* box = form->Combo1;
    click(box, Qt::LeftButton);  // lands in the text field: no list
    QTest::mouseClick(window(), Qt::LeftButton, {}, at(box, {box->width() - 5, box->height() / 2}));
    QAbstractItemView* list = box->view();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    return list;
  }
  // meanwhile: what happens while the list is open.
  void pick(const std::string& name, const std::function<void()>& meanwhile = {}) {
    QAbstractItemView* list = openList();
    if (meanwhile) meanwhile();
    const int row = form->Combo1->findText(QString::fromStdString(name));
    ASSERT_GE(row, 0) << name;
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->window()->windowHandle(), Qt::LeftButton, {},
                      list->viewport()->mapTo(list->window(), r.center()));
  }
  std::string padName(int pad) { return form->state().kit().Instrument(int16_t(pad)).PAD(); }
  int asked(const std::string& prompt) {
    return int(std::count_if(shown.begin(), shown.end(),
                             [&](const MessageBoxRequest& r) { return r.prompt == prompt; }));
  }

  // "Import kit...", the last entry of the bar's menu, chosen with the keys as a user may.
  void importFromMenu(Form1& f) {
    QTimer::singleShot(50, [] {
      QWidget* menu = QApplication::activePopupWidget();
      ASSERT_NE(menu, nullptr);
      QTest::keyClick(menu->windowHandle(), Qt::Key_Up);
      QTest::keyClick(menu->windowHandle(), Qt::Key_Return);
    });
    QTest::mouseClick(window(), Qt::RightButton, {}, at(f.Picture1, {2, 2}));
    QTest::qWait(50);
  }
};

TEST_F(UserJourneyTest, ThePadKeysPlayRightAfterStartAndAfterEditingTheName) {
  Form1& f = open();
  EXPECT_NE(QApplication::focusWidget(), f.Combo1);
  EXPECT_FALSE(f.nameFocus);
  key(Qt::Key_Q);
  EXPECT_NEAR(heard(), pcm16(level(0)), 1e-6);
  key(Qt::Key_W, Qt::ShiftModifier);
  EXPECT_NEAR(heard(), pcm16(level(0)) + pcm16(level(1)), 1e-6);
  EXPECT_EQ(f.Combo1->Text(), "default");
  silence();

  // In the box the same keys are text; a click on a pad ends the editing.
  typeName("qwe");
  EXPECT_TRUE(f.nameFocus);
  EXPECT_EQ(f.Combo1->Text(), "qwe");
  EXPECT_EQ(f.state().kit().Kitname, "qwe");
  EXPECT_EQ(heard(), 0.0f);
  EXPECT_EQ(f.PAD[0]->picture(), f.U->picture());
  click(f.PAD[4]);
  EXPECT_FALSE(f.nameFocus);
  EXPECT_NEAR(heard(), pcm16(level(4)), 1e-6);
  silence();
  key(Qt::Key_O);
  EXPECT_NEAR(heard(), pcm16(level(8)), 1e-6);
  silence();

  // A group light and the bar end the editing too, and Escape does, changing nothing else.
  for (QWidget* away : {static_cast<QWidget*>(f.GP[2]), static_cast<QWidget*>(f.Picture1)}) {
    typeName("x");
    ASSERT_TRUE(f.nameFocus);
    QTest::mouseClick(window(), Qt::LeftButton, {}, at(away, {2, 2}));
    EXPECT_FALSE(f.nameFocus);
    key(Qt::Key_E);
    EXPECT_NEAR(heard(), pcm16(level(2)), 1e-6);
    silence();
  }
  typeName("Funk");
  key(Qt::Key_Escape);
  EXPECT_FALSE(f.nameFocus);
  EXPECT_EQ(f.Combo1->Text(), "Funk");
  EXPECT_EQ(f.state().kit().Kitname, "Funk");
  key(Qt::Key_R);
  EXPECT_NEAR(heard(), pcm16(level(3)), 1e-6);
  EXPECT_TRUE(shown.empty());
}

TEST_F(UserJourneyTest, AHeldKeyRetriggersAndItsPadStaysDownUntilTheRealRelease) {
  Form1& f = open();
  QTest::simulateEvent(window(), true, Qt::Key_T, {}, "t", false);
  EXPECT_NEAR(heard(), pcm16(level(4)), 1e-6);
  SoundDevice()->render(2000);  // the sample is over
  for (int repeat = 0; repeat < 3; ++repeat) {
    EXPECT_EQ(heard(), 0.0f);
    QTest::simulateEvent(window(), false, Qt::Key_T, {}, "t", true);
    EXPECT_EQ(f.PAD[4]->picture(), f.P->picture()) << "no flicker between repeats";
    QTest::simulateEvent(window(), true, Qt::Key_T, {}, "t", true);
    EXPECT_NEAR(heard(), pcm16(level(4)), 1e-6) << "each repeat hits again";
    SoundDevice()->render(2000);
  }
  QTest::simulateEvent(window(), false, Qt::Key_T, {}, "t", false);
  EXPECT_EQ(f.PAD[4]->picture(), f.U->picture());
}

TEST_F(UserJourneyTest, TheBoxLoadsAKitOnlyWhenAnEntryIsPickedFromItsOpenList) {
  Form1& f = open();
  f.state().kitChanged = true;  // any stray load would ask "save changes?"

  // The list opened and closed with Escape, then a pad edited: no question, no load.
  openList();
  QTest::keyClick(f.Combo1->view()->window()->windowHandle(), Qt::Key_Escape);
  QTimer::singleShot(0, [&] { f.editor()->Command3->click(); });
  click(f.PAD[1], Qt::RightButton);
  EXPECT_EQ(asked("save changes?"), 0);
  EXPECT_EQ(padName(0), "P0");

  // An existing kit's name typed and entered renames; typing a prefix completes nothing.
  typeName("Jazz");
  key(Qt::Key_Return);
  EXPECT_EQ(padName(0), "P0");
  EXPECT_EQ(f.state().kit().Kitname, "Jazz");
  typeName("Roc");
  key(Qt::Key_Return);
  EXPECT_EQ(f.Combo1->Text(), "Roc");
  typeName("rock");  // another case of a listed name, then the focus goes to another window
  QWidget other;
  other.show();
  other.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
  f.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
  key(Qt::Key_Down);  // neither the arrow keys nor the wheel step through the entries
  QWheelEvent wheel(QPointF(5, 5), f.Combo1->mapToGlobal(QPointF(5, 5)), {}, {0, -120},
                    Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(f.Combo1, &wheel);
  EXPECT_EQ(f.Combo1->Text(), "rock");
  EXPECT_EQ(f.state().kit().Kitname, "rock");
  EXPECT_EQ(padName(0), "P0");
  EXPECT_TRUE(shown.empty());

  // A pick loads, after saving the changed kit under the name it has.
  answer = vbYes;
  pick("Jazz");
  EXPECT_EQ(asked("save changes?"), 1);
  EXPECT_EQ(padName(0), "JazzKick");
  EXPECT_EQ(f.Combo1->Text(), "Jazz");
  EXPECT_EQ(f.state().kit().Kitname, "Jazz");
  key(Qt::Key_Q);  // a chosen kit is played, not renamed, by the keys
  EXPECT_FALSE(f.nameFocus);
  EXPECT_EQ(f.Combo1->Text(), "Jazz");
  EXPECT_NE(fileText(app.path() / "rock.txt").find("P8"), std::string::npos);
}

TEST_F(UserJourneyTest, AKitThatWouldLoseWorkIsNotLeftForAnother) {
  Form1& f = open();
  const std::string rock = fileText(app.path() / "Rock.txt");
  typeName("Bad,Name");  // a name the save refuses
  f.state().kitChanged = true;
  answer = vbYes;
  pick("Rock");
  EXPECT_EQ(padName(0), "P0");
  EXPECT_EQ(f.Combo1->Text(), "Bad,Name");
  EXPECT_EQ(f.state().kit().Kitname, "Bad,Name");
  EXPECT_TRUE(f.state().kitChanged);

  // Yes, then No to replacing Rock: the same.
  typeName("Rock");
  shown.clear();
  MessageBoxService::setAnswerer([&](const MessageBoxRequest& r) {
    shown.push_back(r);
    return r.prompt == "save changes?" ? vbYes : vbNo;
  });
  pick("Jazz");
  EXPECT_EQ(padName(0), "P0");
  EXPECT_EQ(f.state().kit().Kitname, "Rock");
  EXPECT_TRUE(f.state().kitChanged);
  EXPECT_EQ(fileText(app.path() / "Rock.txt"), rock);

  // A kit that cannot be read leaves a nameless kit that no save writes anywhere.
  answer = vbNo;
  MessageBoxService::setAnswerer([&](const MessageBoxRequest& r) {
    shown.push_back(r);
    return (r.buttons & 7) == vbYesNo ? answer : vbOK;
  });
  shown.clear();
  pick("Jazz", [&] { std::filesystem::remove(app.path() / "Jazz.txt"); });
  ASSERT_EQ(shown.size(), 2u);  // save changes? No; then the failure
  EXPECT_NE(shown[1].prompt.find((app.path() / "Jazz.txt").string()), std::string::npos);
  EXPECT_EQ(f.Combo1->Text(), "");
  EXPECT_EQ(f.state().kit().Kitname, "");
  EXPECT_FALSE(f.kitLoading);
  click(f.Command1);
  EXPECT_EQ(fileText(app.path() / "Rock.txt"), rock);
  EXPECT_FALSE(std::filesystem::exists(app.path() / ".txt"));
}

TEST_F(UserJourneyTest, AHeldBackCloseKeepsMidiAndTheMenuAsTheyWere) {
  const std::vector<std::string> devices{"Pads"};
  Form1& f = open(&devices);
  f.m_Click(1);
  const int closes = midiFake->closes;
  typeName("Bad,Name");
  f.state().kitChanged = true;
  answer = vbYes;
  EXPECT_FALSE(f.close());
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(midiFake->closes, closes);
  EXPECT_TRUE(f.midi->Checked(1));
  f.midiEvents().Message(144, 9, 60, 127);  // MIDI plays on
  f.midiEvents().deliver();
  EXPECT_NEAR(heard(), pcm16(level(0)), 1e-6);

  answer = vbNo;
  EXPECT_TRUE(f.Form_QueryUnload());
  EXPECT_EQ(midiFake->closes, closes + 1);
}

TEST_F(UserJourneyTest, ARightClickOnTheLabelOpensNoMenuButOneOnTheBarDoes) {
  Form1& f = open();
  auto menuOpensOn = [&](QWidget* w) {
    bool opened = false;
    QTimer::singleShot(50, [&] {
      if (QWidget* menu = QApplication::activePopupWidget()) {
        opened = true;
        menu->close();
      }
    });
    QTest::mouseClick(window(), Qt::RightButton, {}, at(w, {2, 2}));
    QTest::qWait(100);
    return opened;
  };
  EXPECT_FALSE(menuOpensOn(f.Label1));
  EXPECT_TRUE(menuOpensOn(f.Picture1));
}

TEST_F(UserJourneyTest, KitsFromOtherSystemsAreListedOnceInReadingOrderAndKeepTheirNameBytes) {
  Form1& f = open();
  writeKit("acid", "A");
  writeKit("Zebra", "Z");
  std::filesystem::rename(app.path() / "Jazz.txt", app.path() / "JAZZ.TXT");
  writeKit("Caf\xe9", "Pad\xe9");  // Windows-1252, as written on another system
  f.state().kitChanged = false;
  pick("JAZZ");
  EXPECT_EQ(padName(0), "JazzKick") << "the list's file loads";
  std::vector<std::string> listed;
  for (int i = 0; i < f.Combo1->count(); ++i) listed.push_back(f.Combo1->itemText(i).toStdString());
  EXPECT_EQ(listed,
            (std::vector<std::string>{"acid", "Caf\u00e9", "default", "JAZZ", "Rock", "Zebra"}));
  pick("Caf\u00e9");
  EXPECT_EQ(f.state().kit().Kitname, "Caf\xe9");
  EXPECT_EQ(f.Combo1->Text(), "Caf\xe9");
  EXPECT_EQ(f.Combo1->lineEdit()->text(), QString("Caf\u00e9"));
  EXPECT_EQ(padName(0), "Pad\xe9");
  EXPECT_EQ(f.PAD[0]->toolTip(), QString("Pad\u00e9"));
  click(f.Command1);  // saved as it came, byte for byte
  EXPECT_NE(fileText(app.path() / "Caf\xe9.txt").find("Pad\xe9,"), std::string::npos);
}

TEST_F(UserJourneyTest, TheSoundDeviceGoesAndComesBackWithOneWordAndNoRestart) {
  auto service = std::make_shared<testing::FakeService>();
  SetDirectX7(std::make_unique<audio::DirectX7>(
      [service](const std::string&) -> audio::Result<std::unique_ptr<audio::Device>> {
        return testing::openFake(service);
      }));
  Form1& f = open();
  service->lost = true;
  service->available = false;
  ASSERT_TRUE(pumpUntil([&] { return f.windowTitle() == "VarnKit - no sound device"; }, 5s));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].prompt.find("comes back by itself"), std::string::npos);
  for (int i = 0; i < 200; ++i) key(Qt::Key_Q);
  click(f.PAD[3]);
  f.midiEvents().Message(144, 0, 61, 127);
  f.midiEvents().deliver();
  QTest::qWait(2 * int(audio::Device::kTimedCycles) * 250);
  EXPECT_EQ(shown.size(), 1u) << "nothing more while it stays lost";

  service->available = true;
  service->rate = 48000;
  ASSERT_TRUE(pumpUntil([&] { return f.windowTitle() == "VarnKit"; }, 5s));
  key(Qt::Key_E);
  EXPECT_NEAR(SoundDevice()->render(2000)[2 * 1000], pcm16(level(2)), 1e-3);
  EXPECT_EQ(shown.size(), 1u);
}

TEST_F(UserJourneyTest, TheWordOnALostDeviceHoldsNoReturnBackAndGoesWhenTheDeviceIsBack) {
  auto service = std::make_shared<testing::FakeService>();
  SetDirectX7(std::make_unique<audio::DirectX7>(
      [service](const std::string&) -> audio::Result<std::unique_ptr<audio::Device>> {
        return testing::openFake(service);
      }));
  Form1& f = open();
  MessageBoxService::setAnswerer(nullptr);  // the box is shown, and nobody is there to answer
  auto notice = [&]() -> QMessageBox* {
    for (QMessageBox* box : f.findChildren<QMessageBox*>())
      if (box->isVisible() && box->text().contains("comes back by itself")) return box;
    return nullptr;
  };
  // A box that waits for its answer would hold the test inside it: it is answered late.
  bool answeredLate = false;
  QTimer::singleShot(4000, &f, [&] {
    if (QMessageBox* box = notice()) answeredLate = true, box->close();
  });
  service->lost = true;
  service->available = false;
  ASSERT_TRUE(pumpUntil([&] { return notice() != nullptr; }, 5s))
      << "answered late: " << answeredLate;
  service->available = true;
  EXPECT_TRUE(pumpUntil([&] { return f.windowTitle() == "VarnKit"; }, 3s));
  EXPECT_TRUE(pumpUntil([&] { return notice() == nullptr; }, 1s));
  EXPECT_FALSE(answeredLate);
  key(Qt::Key_E);
  EXPECT_NEAR(heard(), pcm16(level(2)), 1e-6);
}

TEST_F(UserJourneyTest, AMidiDeviceThatGoesIsUncheckedAndOpenedAgainByNameWhenItIsBack) {
  const std::vector<std::string> devices{"Pads", "Keys"};
  Form1& f = open(&devices);
  f.m_Click(1);
  ASSERT_TRUE(f.midi->Checked(1));
  f.getRoot = true;  // learn armed in the pad editor
  const int closes = midiFake->closes;

  midiFake->names = {"Keys"};
  ASSERT_TRUE(pumpUntil([&] { return f.midi->Checked(0); }, 5s));
  EXPECT_FALSE(f.midi->Checked(1));
  EXPECT_EQ(midiFake->closes, closes + 1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].prompt.find("\"Pads\""), std::string::npos);
  QTest::qWait(2500);
  EXPECT_EQ(shown.size(), 1u) << "told once";

  midiFake->names = {"Keys", "Pads"};  // back, under another number
  ASSERT_TRUE(pumpUntil([&] { return f.midi->Checked(1); }, 5s));
  EXPECT_EQ(midiFake->opened.back(), 1);
  EXPECT_TRUE(f.getRoot);
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_EQ(ReadSetting("LastMidi", ""), "1");

  // Gone again, and the user chooses "No Midi" meanwhile: that choice stands.
  midiFake->names = {"Keys"};
  ASSERT_TRUE(pumpUntil([&] { return f.midi->Checked(0); }, 5s));
  f.m_Click(0);
  midiFake->names = {"Keys", "Pads"};
  QTest::qWait(2500);
  EXPECT_TRUE(f.midi->Checked(0));
  EXPECT_FALSE(f.midi->Checked(1));
}

// As for the sound device: nobody at the screen, and the input comes back all the same.
TEST_F(UserJourneyTest, TheWordOnALostMidiDeviceHoldsNoReturnBackAndGoesWhenTheDeviceIsBack) {
  const std::vector<std::string> devices{"Pads", "Keys"};
  Form1& f = open(&devices);
  f.m_Click(1);
  MessageBoxService::setAnswerer(nullptr);
  auto notice = [&]() -> QMessageBox* {
    for (QMessageBox* box : f.findChildren<QMessageBox*>())
      if (box->isVisible() && box->text().contains("opens it again by itself")) return box;
    return nullptr;
  };
  bool answeredLate = false;
  QTimer::singleShot(8000, &f, [&] {
    if (QMessageBox* box = notice()) answeredLate = true, box->close();
  });
  midiFake->names = {"Keys"};
  ASSERT_TRUE(pumpUntil([&] { return notice() != nullptr; }, 5s))
      << "answered late: " << answeredLate;
  midiFake->names = {"Keys", "Pads"};
  EXPECT_TRUE(pumpUntil([&] { return f.midi->Checked(1); }, 5s));
  EXPECT_TRUE(pumpUntil([&] { return notice() == nullptr; }, 1s));
  EXPECT_FALSE(answeredLate);
}

TEST_F(UserJourneyTest, AKitImportedFromTheMenuIsSavedListedAndPlaysAfterTheUsualQuestion) {
  Form1& f = open();
  f.state().kitChanged = true;  // the kit in use is offered for saving
  testing::TempDir source;
  testing::writeFile(source.path() / "Kick Soft.wav",
                     testing::makeWav(testing::constant(0.1f, 2000), {}));
  testing::writeFile(source.path() / "Kick Hard.wav",
                     testing::makeWav(testing::constant(0.3f, 2000), {}));
  std::ofstream(source.path() / "drums.sfz")
      << "<group> key=36\n<region> sample=Kick Soft.wav hivel=63\n"
         "<region> sample=Kick Hard.wav lovel=64\n";
  std::ofstream(source.path() / "broken.sfz") << "<region> sample=gone.wav key=38\n";
  std::string offered = (source.path() / "broken.sfz").string();
  FileChooser::setAnswerer([&](const FileChoiceRequest&) { return offered; });
  answer = vbNo;

  importFromMenu(f);  // a broken source: said plainly, nothing written, the kit stays
  ASSERT_FALSE(shown.empty());
  EXPECT_NE(shown.back().prompt.find("gone.wav"), std::string::npos) << shown.back().prompt;
  EXPECT_FALSE(std::filesystem::exists(app.path() / "broken.txt"));
  EXPECT_EQ(f.Combo1->Text(), "default");
  EXPECT_EQ(asked("save changes?"), 0);

  offered = (source.path() / "drums.sfz").string();
  shown.clear();
  importFromMenu(f);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].title, "Import kit");
  EXPECT_NE(shown[0].prompt.find("Pad 1: Kick Soft"), std::string::npos) << shown[0].prompt;
  EXPECT_EQ(shown[1].prompt, "save changes?");
  EXPECT_EQ(f.Combo1->Text(), "drums");
  EXPECT_FALSE(f.state().kitChanged);
  EXPECT_TRUE(std::filesystem::exists(app.path() / "drums" / "Kick Hard.wav"));
  key(Qt::Key_Q);  // full velocity: the hard layer
  EXPECT_NEAR(heard(), pcm16(0.3f), 1e-6);
  openList();
  EXPECT_GE(f.Combo1->findText("drums"), 0);
  FileChooser::setAnswerer(nullptr);
}

// The import runs while the window goes on answering: its question comes through the
// message-box service on the window's thread with the progress box up, and Cancel there
// leaves the kit of the same name, and the whole program folder, as they were.
TEST_F(UserJourneyTest, AnImportRunsBehindAProgressBoxWhoseCancelLeavesNothingWritten) {
  Form1& f = open();
  testing::TempDir source;
  testing::writeFile(source.path() / "kick.wav",
                     testing::makeWav(testing::constant(0.2f, 500), {}));
  std::ofstream(source.path() / "Rock.sfz") << "<region> sample=kick.wav key=36\n";
  FileChooser::setAnswerer([&](const FileChoiceRequest&) { return source.file("Rock.sfz"); });
  auto folder = [&] {
    std::string listing;
    for (const auto& e : std::filesystem::recursive_directory_iterator(app.path()))
      listing += e.path().string() + (e.is_regular_file() ? ":" + fileText(e.path()) : "") + "\n";
    return listing;
  };
  const std::string before = folder();
  bool cancel = true, boxUp = false, onWindowThread = false;
  MessageBoxService::setAnswerer([&](const MessageBoxRequest& r) {
    shown.push_back(r);
    if (r.prompt != "This will destroy your existing 'Rock' Drumkit! Are you sure?") return vbOK;
    onWindowThread = QThread::currentThread() == qApp->thread();
    auto* box = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
    boxUp = box != nullptr && box->isVisible() && box->windowTitle() == "Import kit";
    if (boxUp && cancel) {
      auto* button = box->findChild<QPushButton*>();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(box));
      QTest::mouseClick(box->windowHandle(), Qt::LeftButton, {},
                        button->mapTo(box, button->rect().center()));
    }
    return vbYes;
  });

  importFromMenu(f);
  EXPECT_TRUE(onWindowThread);
  EXPECT_TRUE(boxUp);
  ASSERT_EQ(shown.size(), 1u);  // the question only: a cancelled import says nothing more
  EXPECT_EQ(folder(), before);
  EXPECT_EQ(f.Combo1->Text(), "default");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // Not cancelled, the same import replaces the kit and the window loads it.
  cancel = false;
  shown.clear();
  importFromMenu(f);
  EXPECT_TRUE(boxUp);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].title, "Import kit");
  EXPECT_EQ(f.Combo1->Text(), "Rock");
  EXPECT_TRUE(std::filesystem::exists(app.path() / "Rock" / "kick.wav"));
  FileChooser::setAnswerer(nullptr);
}

}  // namespace
}  // namespace varnkit::ui
