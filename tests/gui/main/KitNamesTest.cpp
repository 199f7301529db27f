// Kit files named in another letter case than the kit: one kit, found at the first start, by
// the list, by a save and by an import, and never removed by the save of another file.

#include <QTest>
#include <fstream>

#include "app/Installation.h"
#include "import/KitImport.h"
#include "kit/Drumkit.h"
#include "tests/gui/main/MainWindowFixture.h"
#include "tools/StarterKitMaker.h"

namespace varnkit::ui {
namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class KitNamesTest : public testing::MainWindowTest {
 protected:
  std::vector<std::string> listed() {
    form->Combo1_DropDown();
    std::vector<std::string> names;
    for (int i = 0; i < form->Combo1->count(); ++i)
      names.push_back(form->Combo1->itemText(i).toStdString());
    return names;
  }
  std::vector<std::string> kitFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(app.path()))
      if (e.path().extension() == ".txt" || e.path().extension() == ".TXT")
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(KitNamesTest, ADefaultKitInCapitalsSurvivesTheFirstStartAndIsTheKitTheWindowStartsWith) {
  writeKit("DEFAULT", "Boom");
  fs::rename(app.path() / "DEFAULT.txt", app.path() / "DEFAULT.TXT");
  const std::string mine = fileText(app.path() / "DEFAULT.TXT");

  std::string why;
  EXPECT_TRUE(app::PrepareKitFolder(app.path().string(), why)) << why;
  EXPECT_EQ(kitFiles(), std::vector<std::string>{"DEFAULT.TXT"});
  EXPECT_EQ(fileText(app.path() / "DEFAULT.TXT"), mine);
  EXPECT_FALSE(fs::exists(app.path() / "default")) << "no starter kit beside it";

  // The starter-kit tool has no one to ask: it refuses to replace the kit, and says so.
  EXPECT_FALSE(tools::MakeStarterKit(app.path(), why));
  EXPECT_NE(why.find("DEFAULT.TXT"), std::string::npos) << why;
  EXPECT_EQ(kitFiles(), std::vector<std::string>{"DEFAULT.TXT"});
  EXPECT_EQ(fileText(app.path() / "DEFAULT.TXT"), mine);

  Form1& f = start();
  EXPECT_EQ(f.Combo1->Text(), "default");
  EXPECT_EQ(f.state().kit().Instrument(0).PAD(), "Boom");
  EXPECT_EQ(listed(), std::vector<std::string>{"DEFAULT"});
  shown.clear();
  answer = vbNo;
  EXPECT_TRUE(f.Form_QueryUnload()) << "the kit has its file";
  EXPECT_TRUE(shown.empty());
}

TEST_F(KitNamesTest, RockAndROCKAreOneKitListedOnceThatLoadsFromTheFileOfItsName) {
  writeKit("Rock", "Small");
  writeKit("ROCK", "Loud");
  const std::string small = fileText(app.path() / "Rock.txt");
  Form1& f = start();
  EXPECT_EQ(listed(), std::vector<std::string>{"ROCK"});
  f.Combo1->setCurrentIndex(0);  // picked as the list picks: the entry's text, then Click
  f.Combo1->setText("ROCK");
  f.Combo1_Click();
  EXPECT_EQ(f.state().kit().Kitname, "ROCK");
  EXPECT_EQ(f.state().kit().Instrument(0).PAD(), "Loud") << "the listed name's own file loads";
  answer = vbYes;
  QTest::mouseClick(f.Command1, Qt::LeftButton);  // replaces ROCK.txt and nothing else
  EXPECT_EQ(kitFiles(), (std::vector<std::string>{"ROCK.txt", "Rock.txt"}));
  EXPECT_EQ(fileText(app.path() / "Rock.txt"), small);
}

TEST_F(KitNamesTest, AnImportOverAKitOfAnotherLetterCaseAsksByItsNameAndReplacesThatFile) {
  writeKit("DRUMS", "Old");
  const std::string old = fileText(app.path() / "DRUMS.txt");
  testing::TempDir source;
  testing::writeFile(source.path() / "kick.wav",
                     testing::makeWav(testing::constant(0.2f, 500), {}));
  std::ofstream(source.path() / "drums.sfz") << "<region> sample=kick.wav key=36\n";
  std::vector<std::string> asked;
  bool agree = false;
  auto importIt = [&] {
    return import::ImportKit({source.path() / "drums.sfz", app.path(), ""},
                             [&](const std::string& name) {
                               asked.push_back(name);
                               return agree;
                             });
  };
  EXPECT_FALSE(importIt().ok);
  EXPECT_EQ(asked, std::vector<std::string>{"DRUMS"});
  EXPECT_EQ(fileText(app.path() / "DRUMS.txt"), old);

  agree = true;
  const import::ImportOutcome done = importIt();
  ASSERT_TRUE(done.ok) << done.error;
  EXPECT_EQ(kitFiles(), std::vector<std::string>{"drums.txt"});
  EXPECT_NE(fileText(app.path() / "drums.txt").find("kick.wav"), std::string::npos);
}

}  // namespace
}  // namespace varnkit::ui
