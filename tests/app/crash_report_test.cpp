// The bug report: what an entry holds, that entries are appended, and that an exception that
// escapes a thread is reported before the program ends.

#include "app/crash_report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "config/secrets.h"
#include "kestrava_version.h"
#include "temp_dir.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;

using testing_files::ReadAll;

class BugReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrava-crash-XXXXXX").string();
    dir = mkdtemp(pattern.data());
    report = dir / "bugreport.txt";
    SetBugReportPath(report.string());
  }
  void TearDown() override {
    SetBugReportPath("bugreport.txt");
    fs::remove_all(dir);
  }
  fs::path dir, report;
};

TEST_F(BugReportTest, EntryHoldsTimeThreadAndError) {
  EXPECT_EQ(BugReportEntry("2026-01-02T03:04:05.006", "window thread (id 7)", "bad value"),
            "---- Kestrava " KESTRAVA_VERSION
            " bug report\nTime: 2026-01-02T03:04:05.006\nThread: window thread (id 7)\n"
            "Error: bad value\n\n");
}

TEST_F(BugReportTest, EntriesAreAppended) {
  ASSERT_TRUE(AppendBugReport("first failure"));
  std::thread([] { AppendBugReport("second failure"); }).join();
  const std::string text = ReadAll(report);
  const size_t first = text.find("Error: first failure\n");
  const size_t second = text.find("Error: second failure\n");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_NE(text.find("Thread: other thread (id "), std::string::npos);
  EXPECT_NE(text.find("Time: 20"), std::string::npos);
}

TEST_F(BugReportTest, UnwritableReportStillTellsTheUser) {
  SetBugReportPath((dir / "missing" / "bugreport.txt").string());
  SetCrashDialogAllowed(false);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReportCrash("disk gone"), TCrashChoice::Close);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("An error occurred in the application. disk gone"), std::string::npos);
  EXPECT_NE(said.find("could not write"), std::string::npos);
  SetCrashDialogAllowed(true);
}

// A password the configuration read never reaches the report or standard error, whatever
// text carried it there.
TEST_F(BugReportTest, PasswordsAreBlankedOut) {
  RememberSecret("auth-secret-1");
  RememberSecret("priv-secret-22");
  SetCrashDialogAllowed(false);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReportCrash("Config AuthPassword=auth-secret-1 PrivPassword=priv-secret-22 failed"),
            TCrashChoice::Close);
  const std::string said = testing::internal::GetCapturedStderr();
  SetCrashDialogAllowed(true);
  ASSERT_TRUE(AppendBugReport("again auth-secret-1"));
  const std::string text = ReadAll(report);
  for (const std::string& out : {said, text}) {
    EXPECT_EQ(out.find("auth-secret-1"), std::string::npos) << out;
    EXPECT_EQ(out.find("priv-secret-22"), std::string::npos) << out;
  }
  EXPECT_NE(said.find("AuthPassword=******** PrivPassword=******** failed"), std::string::npos)
      << said;
  EXPECT_NE(text.find("Error: again ********\n"), std::string::npos) << text;
}

TEST_F(BugReportTest, ExceptionEscapingAThreadIsReportedThenTheProgramEnds) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child writes where this test reads
  EXPECT_DEATH(
      {
        InstallTerminateHandler();
        std::thread([] { throw std::runtime_error("worker lost its socket"); }).join();
      },
      "An error occurred in the application\\. uncaught exception: worker lost its socket");
  const std::string text = ReadAll(report);
  EXPECT_NE(text.find("Error: uncaught exception: worker lost its socket\n"), std::string::npos);
  EXPECT_NE(text.find("Thread: other thread"), std::string::npos);
}

}  // namespace
}  // namespace kestrava
