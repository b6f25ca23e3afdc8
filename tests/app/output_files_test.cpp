// The files of a scripted run: the CSV of the slices and the atomic writes.

#include "app/output_files.h"

#include <gtest/gtest.h>

#include <QColor>
#include <atomic>
#include <filesystem>
#include <thread>

#include "temp_dir.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;
using testing_files::ReadAll;
using testing_files::TempDir;

TEST(SlicesCsv, NumbersArePlainDecimalWithEveryDigit) {
  struct Case {
    const char* value;  // as the agent gave it
    const char* want;
  } cases[] = {
      {"0", "0"},
      {"12", "12"},
      {"1234567.5", "1234567.5"},
      {"0.1", "0.1"},
      {"0.25", "0.25"},
      {"100000000000000000000", "100000000000000000000"},  // no exponent
      {"18446744073709551615", "18446744073709551615"},    // a whole 64-bit counter
      {"123456789.01", "123456789.01"},
  };
  for (const Case& c : cases) {
    TCurrentValue value;
    const TSample sample = TSample::FromText(c.value);
    value.Present = true;
    value.Whole = sample.IsWhole();
    value.Magnitude = sample.Magnitude();
    value.Number = sample.Number();
    std::vector<TSliceCandidate> candidates = {{0, KeyOf(value)}};
    const std::string label = "eth0";
    std::vector<TPieSlice> pie;
    BuildPie(candidates, 0, [&](int) -> const std::string& { return label; }, pie);
    ASSERT_EQ(pie.size(), 1u);
    EXPECT_EQ(SlicesCsv(pie), std::string("position,label,value\n0,eth0,") + c.want + "\n")
        << c.value;
  }
}

TEST(SlicesCsv, LabelsAreQuotedOnlyWhenTheyNeedIt) {
  struct Case {
    const char* label;
    const char* want;
  } cases[] = {
      {"eth0", "eth0"},
      {"Intel(R) PRO/1000 #2", "Intel(R) PRO/1000 #2"},
      {"", ""},
      {"in,out", "\"in,out\""},
      {"the \"fast\" one", "\"the \"\"fast\"\" one\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\rhere", "\"cr\rhere\""},
      {" padded ", "\" padded \""},
      {"Gr\xc3\xbc\xc3\x9f"
       "e",
       "Gr\xc3\xbc\xc3\x9f"
       "e"},  // UTF-8 passes as it is
  };
  for (const Case& c : cases) EXPECT_EQ(CsvField(c.label), c.want) << c.label;
}

TEST(SlicesCsv, OneLinePerSliceInPieOrder) {
  const std::vector<TPieSlice> pie = {{"eth0", 5000.5, "5000.5", 0, PaletteColour},
                                      {"lo, loopback", 300, "300", 1, PaletteColour},
                                      {"Other", 12, "12", 2, PaletteColour}};
  EXPECT_EQ(SlicesCsv(pie),
            "position,label,value\n"
            "0,eth0,5000.5\n"
            "1,\"lo, loopback\",300\n"
            "2,Other,12\n");
  EXPECT_EQ(SlicesCsv({}), "position,label,value\n");
}

TEST(AtomicWrite, WritesAndReplacesWithoutLeavingATemporaryFile) {
  TempDir dir("kestrava-out");
  const fs::path file = dir.path / "slices.csv";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(file.string(), "first\n", error)) << error;
  EXPECT_EQ(ReadAll(file), "first\n");
  ASSERT_TRUE(WriteFileAtomically(file.string(), "second, longer\n", error)) << error;
  EXPECT_EQ(ReadAll(file), "second, longer\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::others_read, fs::perms::others_read);
}

TEST(AtomicWrite, AFileThatCannotBeWrittenSaysWhyAndLeavesNothingBehind) {
  TempDir dir("kestrava-out");
  fs::create_directory(dir.path / "taken");
  struct Case {
    const char* name;
    fs::path path;
    const char* reason;
  } cases[] = {
      {"missing folder", dir.path / "no-such-folder" / "out.csv", "No such file or directory"},
      {"a folder in the way", dir.path / "taken", "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(c.path.string(), "data", error));
    EXPECT_EQ(error, c.path.string() + ": " + c.reason);
  }
  // Only the folder that was in the way: no temporary file is left.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_empty(dir.path / "taken"));
}

TEST(AtomicWrite, AReaderSeesAWholeFileEveryTime) {
  TempDir dir("kestrava-out");
  const fs::path file = dir.path / "pie.csv";
  const std::string a(200000, 'a');
  const std::string b(150000, 'b');
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(file.string(), a, error));
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done) {
      const std::string seen = ReadAll(file);
      if (seen != a && seen != b) ++torn;
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(WriteFileAtomically(file.string(), i % 2 ? a : b, error)) << error;
  }
  done = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

TEST(AtomicWrite, PngReadsBackPixelForPixel) {
  TempDir dir("kestrava-out");
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(Qt::white);
  image.setPixel(3, 4, qRgb(255, 0, 0));
  image.setPixel(39, 29, qRgb(0, 0, 128));
  const fs::path file = dir.path / "chart.png";
  std::string error;
  ASSERT_TRUE(WritePngAtomically(file.string(), image, error)) << error;
  QImage back(QString::fromStdString(file.string()));
  ASSERT_FALSE(back.isNull());
  EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image);
}

}  // namespace
}  // namespace kestrava
