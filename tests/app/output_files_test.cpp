// The files of a scripted run: the CSV of the slices and the atomic writes.

#include "app/output_files.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QColor>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
    BuildPie(
        candidates, 0, [&](int) -> const std::string& { return label; }, pie);
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

// Sets the process umask for one scope.
class Umask {
 public:
  explicit Umask(mode_t mask) : m_old(umask(mask)) {}
  ~Umask() { umask(m_old); }

 private:
  mode_t m_old;
};

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(AtomicWrite, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode) {
  TempDir dir("kestrava-out");
  std::string error;
  const struct {
    mode_t mask;
    mode_t want;
  } fresh[] = {{022, 0644}, {077, 0600}, {002, 0664}, {027, 0640}};
  for (const auto& c : fresh) {
    SCOPED_TRACE(c.mask);
    const fs::path file = dir.path / ("new-" + std::to_string(c.mask) + ".csv");
    Umask mask(c.mask);
    ASSERT_TRUE(WriteFileAtomically(file.string(), "x\n", error)) << error;
    EXPECT_EQ(ModeOf(file), c.want);
  }
  for (const mode_t kept : {0600, 0640, 0664, 0444}) {
    SCOPED_TRACE(kept);
    const fs::path file = dir.path / ("kept-" + std::to_string(kept) + ".csv");
    std::ofstream(file) << "old\n";
    ASSERT_EQ(chmod(file.c_str(), kept), 0);
    Umask mask(022);
    ASSERT_TRUE(WriteFileAtomically(file.string(), "new\n", error)) << error;
    EXPECT_EQ(ReadAll(file), "new\n");
    EXPECT_EQ(ModeOf(file), kept);
  }
}

// A symbolic link stays a link: the file it leads to is replaced, in that file's folder.
TEST(AtomicWrite, WritesThroughSymbolicLinks) {
  TempDir dir("kestrava-out");
  fs::create_directory(dir.path / "real");
  const fs::path target = dir.path / "real" / "pie.csv";
  std::ofstream(target) << "old\n";
  fs::create_symlink("real/pie.csv", dir.path / "relative.csv");
  fs::create_symlink(target, dir.path / "absolute.csv");
  fs::create_symlink("relative.csv", dir.path / "chain.csv");
  fs::create_symlink("real/later.csv", dir.path / "dangling.csv");
  std::string error;
  for (const char* link : {"relative.csv", "absolute.csv", "chain.csv"}) {
    SCOPED_TRACE(link);
    const std::string data = std::string("through ") + link + "\n";
    ASSERT_TRUE(CheckOutputPath((dir.path / link).string(), error)) << error;
    ASSERT_TRUE(WriteFileAtomically((dir.path / link).string(), data, error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir.path / link));
    EXPECT_EQ(ReadAll(target), data);
  }
  // A link to a file that does not exist yet makes that file.
  ASSERT_TRUE(CheckOutputPath((dir.path / "dangling.csv").string(), error)) << error;
  ASSERT_TRUE(WriteFileAtomically((dir.path / "dangling.csv").string(), "made\n", error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir.path / "dangling.csv"));
  EXPECT_EQ(ReadAll(dir.path / "real" / "later.csv"), "made\n");
  // The folders hold the links and the files, and no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 5);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path / "real"), fs::directory_iterator()), 2);
}

// A link planted by another user in a world-writable sticky folder (as /tmp) is not followed,
// whoever runs the program: the kernel's rule for links, kept when links are resolved here.
TEST(AtomicWrite, FollowsLinksInStickyFoldersAsTheKernelDoes) {
  constexpr uid_t kNobody = 65534;
  const uid_t me = geteuid();
  struct Case {
    const char* name;
    mode_t folderMode;
    uid_t folderOwner;
    uid_t linkOwner;
    bool followed;
  } cases[] = {
      {"another user's link, sticky and world-writable", 01777, me, kNobody, false},
      {"my own link there", 01777, me, me, true},
      {"the folder owner's link", 01777, kNobody, kNobody, true},
      {"world-writable, not sticky", 0777, me, kNobody, true},
      {"sticky, not world-writable", 01755, me, kNobody, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir("kestrava-out");
    const fs::path secret = dir.path / "secret.conf";
    std::ofstream(secret) << "secret\n";
    const fs::path folder = dir.path / "shared";
    fs::create_directory(folder);
    const fs::path link = folder / "out.csv";
    fs::create_symlink(secret, link);
    if (lchown(link.c_str(), c.linkOwner, c.linkOwner) != 0 ||
        chown(folder.c_str(), c.folderOwner, c.folderOwner) != 0) {
      GTEST_SKIP() << "giving files to another user needs root";
    }
    ASSERT_EQ(chmod(folder.c_str(), c.folderMode), 0);
    // Also at the end of a chain of links that may be followed.
    fs::create_symlink(link, dir.path / "mine.csv");
    for (const fs::path& path : {link, dir.path / "mine.csv"}) {
      std::string error;
      EXPECT_EQ(CheckOutputPath(path.string(), error), c.followed) << error;
      EXPECT_EQ(WriteFileAtomically(path.string(), "pie\n", error), c.followed) << error;
      if (!c.followed) {
        EXPECT_EQ(error, path.string() + ": Permission denied: the link " + link.string() +
                             " belongs to another user in a world-writable sticky folder and is "
                             "not followed");
      }
    }
    EXPECT_EQ(ReadAll(secret), c.followed ? "pie\n" : "secret\n");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  }
}

// Only a regular file (or nothing yet) may be replaced: a device node, a FIFO, a folder or a
// socket stays as it is, also behind a link.
TEST(AtomicWrite, RefusesWhatIsNotARegularFile) {
  TempDir dir("kestrava-out");
  ASSERT_EQ(mkfifo((dir.path / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir.path / "folder");
  const fs::path socketPath = dir.path / "socket";
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  fs::create_symlink("/dev/null", dir.path / "null-link.csv");
  fs::create_symlink("loop-b", dir.path / "loop-a");
  fs::create_symlink("loop-a", dir.path / "loop-b");
  const struct {
    const char* name;
    fs::path path;
    std::string reason;
  } cases[] = {
      {"character device", "/dev/null", "/dev/null: Is a character device, not a regular file"},
      {"FIFO", dir.path / "fifo", (dir.path / "fifo").string() + ": Is a FIFO, not a regular file"},
      {"folder", dir.path / "folder", (dir.path / "folder").string() + ": Is a directory"},
      {"socket", socketPath, socketPath.string() + ": Is a socket, not a regular file"},
      {"link to a device", dir.path / "null-link.csv",
       (dir.path / "null-link.csv").string() +
           ": Is a character device, not a regular file (the link leads to /dev/null)"},
      {"links in a loop", dir.path / "loop-a",
       (dir.path / "loop-a").string() + ": Too many levels of symbolic links"},
      {"missing folder", dir.path / "none" / "x.csv",
       (dir.path / "none" / "x.csv").string() + ": No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(CheckOutputPath(c.path.string(), error));
    EXPECT_EQ(error, c.reason);
    error.clear();
    EXPECT_FALSE(WriteFileAtomically(c.path.string(), "data", error));
    EXPECT_EQ(error, c.reason);
  }
  close(sock);
  struct stat st {};
  ASSERT_EQ(lstat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_TRUE(fs::is_fifo(dir.path / "fifo"));
  EXPECT_TRUE(fs::is_socket(socketPath));
  EXPECT_TRUE(fs::is_symlink(dir.path / "null-link.csv"));
  // Nothing was added beside them.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 6);
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
