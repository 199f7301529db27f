#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "kit/FieldReader.h"
#include "platform/files/TextFiles.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/platform/TestFiles.h"

namespace varnkit {
namespace {

using varnkit::testing::errorOf;

class FieldReaderTest : public ::testing::Test {
 protected:
  varnkit::testing::TempDir dir;

  void TearDown() override { files::CloseAllFiles(); }

  // Opens text as file number 1, closing what was open.
  void open(std::string_view text) {
    files::CloseAllFiles();
    varnkit::testing::writeBytes(dir.path() / "kit.txt", text);
    files::OpenTextFile(1, dir.file("kit.txt"), files::OpenMode::Input);
  }
};

struct Record {
  int32_t pad = -9, offset = -9, length = -9, root = -9;
  std::string name, file;
  int32_t velStart = -9, velEnd = -9, keyStart = -9, keyEnd = -9;
  double left = -9, right = -9;
  int32_t group = -9, voices = -9;

  void read() {
    const std::array<FieldRef, 14> f{&pad,    &offset,   &length, &root, &name,  &file,  &velStart,
                                     &velEnd, &keyStart, &keyEnd, &left, &right, &group, &voices};
    ReadCommaFields(1, f);
  }
  auto padData() const { return std::tie(pad, root, name, group, voices); }
  auto layerData() const { return std::tie(file, velStart, velEnd); }
  auto zeros() const { return std::tie(offset, length, keyStart, keyEnd, left, right); }
};

TEST_F(FieldReaderTest, ReadsTheRockKitWhateverItsLineEnds) {
  for (const std::string eol : {"\r\n", "\n", ""}) {
    SCOPED_TRACE(::testing::PrintToString(eol));
    const std::string end = "\r" + eol;
    open("vst samples," + end + "Rock," + end + "Rock," + end + "VarnKit," + end + end +
         "1,0,0,\t36,Kick,\tkick1.wav,0,79,0,0,0,0,0,0," + end +
         "1,0,0,\t36,Kick,\tkick2.wav,80,127,0,0,0,0,0,0," + end +
         "3,0,0,\t42,Hat,\that.wav,0,127,0,0,0,0,1,1," + end + "-1 by Ned's VarnKit");
    std::string scratch, samples, copyright;
    const std::array<FieldRef, 4> header{&scratch, &scratch, &samples, &copyright};
    ReadCommaFields(1, header);
    EXPECT_EQ(std::tie(scratch, samples, copyright), std::make_tuple("Rock", "Rock", "VarnKit"));
    Record r;
    r.read();
    EXPECT_EQ(r.padData(), std::make_tuple(1, 36, "Kick", 0, 0));
    EXPECT_EQ(r.layerData(), std::make_tuple("kick1.wav", 0, 79));
    r.read();
    EXPECT_EQ(r.layerData(), std::make_tuple("kick2.wav", 80, 127));
    r.read();
    EXPECT_EQ(r.padData(), std::make_tuple(3, 42, "Hat", 1, 1));
    EXPECT_EQ(r.layerData(), std::make_tuple("hat.wav", 0, 127));
    EXPECT_EQ(r.zeros(), std::make_tuple(0, 0, 0, 0, 0.0, 0.0));
    // The trailer has no comma: it reaches element 0, a number, and does not convert.
    EXPECT_EQ(errorOf([&] { r.read(); }), Error::kTypeMismatch);
    EXPECT_TRUE(files::AtEnd(1));
  }
}

TEST_F(FieldReaderTest, TabsAndLineBreaksVanishInsideFieldsSpacesStay) {
  open(" Big\tKick \r\n, my\r\nfile.wav ,");
  std::string name, file;
  const std::array<FieldRef, 2> f{&name, &file};
  ReadCommaFields(1, f);
  EXPECT_EQ(name, " BigKick ");
  EXPECT_EQ(file, " myfile.wav ");
}

TEST_F(FieldReaderTest, AFieldWithoutCommaAtTheEndReachesOnlyElementZero) {
  open("a,b,c,d");
  std::string x, y;
  const std::array<FieldRef, 2> two{&x, &y};
  ReadCommaFields(1, two);
  EXPECT_EQ(x + y, "ab");
  ReadCommaFields(1, two);
  EXPECT_EQ(x + y, "cb");  // "d" stays unassigned
  open("last words");
  ReadCommaFields(1, std::span(two).first(1));
  EXPECT_EQ(x, "last words");
  for (auto text : {"7,\r\n8", "7,\r\n"}) {
    open(text);
    int32_t a = -1, b = -1, c = -1;
    const std::array<FieldRef, 3> three{&a, &b, &c};
    ReadCommaFields(1, three);
    EXPECT_EQ(std::tie(a, b, c), std::make_tuple(7, -1, -1)) << text;
  }
}

TEST_F(FieldReaderTest, ABadNumberEndsTheCallAndLaterElementsKeepTheirValues) {
  open("7,abc,9,11,99999999999,");
  int32_t a = 0, b = -1, c = -2;
  const std::array<FieldRef, 3> three{&a, &b, &c};
  EXPECT_EQ(errorOf([&] { ReadCommaFields(1, three); }), Error::kTypeMismatch);
  EXPECT_EQ(std::tie(a, b, c), std::make_tuple(7, -1, -2));
  const std::array<FieldRef, 3> next{&c, &b, &a};
  EXPECT_EQ(errorOf([&] { ReadCommaFields(1, next); }), Error::kOverflow);
  EXPECT_EQ(std::tie(c, b, a), std::make_tuple(9, 11, 7));
}

TEST_F(FieldReaderTest, ANullVariableOrAFileNotOpenIsRefusedBeforeReading) {
  open("1,2,");
  int32_t a = 0;
  const std::array<FieldRef, 2> f{&a, static_cast<double*>(nullptr)};
  EXPECT_EQ(errorOf([&] { ReadCommaFields(1, f); }), Error::kInvalidCall);
  EXPECT_EQ(files::ReadChar(1), '1');
  EXPECT_EQ(errorOf([&] { ReadCommaFields(2, std::span(f).first(1)); }),
            files::kBadFileNameOrNumber);
}

TEST(FieldConversion, IntegersRoundHalfToEvenAndAcceptBlanksSignsAndExponents) {
  const std::pair<const char*, int32_t> cases[] = {{"2.5", 2},
                                                   {"3.5", 4},
                                                   {"-2.5", -2},
                                                   {"0.5", 0},
                                                   {"2.4999", 2},
                                                   {"  42  ", 42},
                                                   {"+12", 12},
                                                   {"-0", 0},
                                                   {"1e3", 1000},
                                                   {"2.5E1", 25},
                                                   {"15e-1", 2},
                                                   {".5", 0},
                                                   {"7.", 7},
                                                   {"0042", 42},
                                                   {"2147483647", 2147483647},
                                                   {"-2147483648.5", -2147483647 - 1}};
  for (const auto& [text, value] : cases) EXPECT_EQ(FieldToInt32(text), value) << text;
  EXPECT_EQ(FieldToDouble(" -1.25e-1 "), -0.125);
  EXPECT_EQ(FieldToDouble("1e-400"), 0.0);
  EXPECT_EQ(FieldToDouble("0." + std::string(400, '0') + "1e5"), 0.0);
}

TEST(FieldConversion, NumbersBeyondTheirTypeOverflow) {
  for (auto text : {"2147483648", "-2147483649", "2147483647.5", "1e10", "-1e99999999999"}) {
    EXPECT_EQ(errorOf([&] { FieldToInt32(text); }), Error::kOverflow) << text;
  }
  EXPECT_EQ(errorOf([] { FieldToDouble("1e309"); }), Error::kOverflow);
  EXPECT_EQ(errorOf([] { FieldToDouble("-123456e400"); }), Error::kOverflow);
}

TEST(FieldConversion, TextThatIsNotANumberIsATypeMismatch) {
  for (auto text : {"", "   ", "abc", "1x", "1 2", "--1", "- 1", "1e", "1e+", "e5", ".", "0x10",
                    "inf", "nan", "1.2.3"}) {
    EXPECT_EQ(errorOf([&] { FieldToInt32(text); }), Error::kTypeMismatch) << text;
    EXPECT_EQ(errorOf([&] { FieldToDouble(text); }), Error::kTypeMismatch) << text;
  }
}

}  // namespace
}  // namespace varnkit
