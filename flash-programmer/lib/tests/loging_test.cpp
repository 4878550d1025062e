// The logger in a folder of the test's own.
#include "loging.h"

#include <gtest/gtest.h>

#include "testsupport/testdir.h"

using namespace tessaro;

namespace {

std::vector<std::string> Lines(const std::string& path) {
  return testsupport::SplitLines(testsupport::ReadFileOr(path));
}

}  // namespace

TEST(Loging, LineWithAListShowsTheSamePrefixedLineAsTheFile) {
  testsupport::TestFolder folder;
  TStringList list;
  {
    TLoging log(folder.Path());
    LogHook m, d;
    log.BindHook(m);
    log.BindDiagnosticHook(d);
    m(&list, "value %d", {7});
    d(nullptr, "dump");
  }
  ASSERT_EQ(1u, list.Lines().size());
  std::vector<std::string> file = Lines(folder / "Tessaro.log");
  ASSERT_EQ(6u, file.size());
  EXPECT_EQ(list.Lines()[0], file[4]);
  EXPECT_EQ("M[", file[4].substr(0, 2));
  EXPECT_EQ("] value 7", file[4].substr(23));
  EXPECT_EQ("D[", file[5].substr(0, 2));
  EXPECT_EQ("] dump", file[5].substr(23));
  EXPECT_EQ(file, Lines(folder / "ZP2.log"));
}

TEST(Loging, BindingFillsOnlyAnEmptyHook) {
  testsupport::TestFolder folder;
  TLoging log(folder.Path());
  LogHook hook;
  int object = 0;
  hook.method = [](void*, const std::string&, TStrings*) {};
  hook.object = &object;
  log.BindHook(hook);
  EXPECT_EQ(&object, hook.object);
}

TEST(Loging, DeleteLogAndTheNextLineStartsANewFile) {
  testsupport::TestFolder folder;
  TLoging log(folder.Path());
  log.WriteM("first", nullptr);
  EXPECT_TRUE(log.DeleteLog());
  log.WriteM("second", nullptr);
  std::vector<std::string> file = Lines(folder / "Tessaro.log");
  ASSERT_EQ(5u, file.size());
  EXPECT_EQ(0u, file[2].find("***** Tessaro.log file open at "));
  EXPECT_EQ("] second", file[4].substr(23));
}

TEST(Loging, DeletingAMissingLogWarnsAndSucceeds) {
  testsupport::TestFolder folder;
  TLoging log(folder.Path());
  testsupport::WriteFile(folder / "NoLogFile2", "");
  log.SetMainLogOn(false);
  log.WriteM("kept out", nullptr);
  log.SetMainLogOn(true);
  EXPECT_TRUE(log.DeleteLog());
  std::vector<std::string> file = Lines(folder / "Tessaro.log");
  ASSERT_EQ(5u, file.size());
  EXPECT_EQ("] WARNING: delete log file \"" + folder.Path() +
                "\\Tessaro.log\", this file doesn't exists!",
            file[4].substr(23));
  EXPECT_FALSE(testsupport::FileExists(folder / "ZP2.log"));
}

TEST(Loging, UnwritableProgramFolderMovesTheMainLogToTheTemporaryFolder) {
  testsupport::TestFolder folder;
  std::string missing = folder / "not-there";
  std::string marker = "marker line " + std::to_string(GetCurrentProcessId());
  std::string path;
  {
    TLoging log(missing);
    log.WriteM(marker, nullptr);
    path = log.MainLogPath();
  }
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string expected = std::string(temp);
  if (expected.back() != '\\') expected += '\\';
  EXPECT_EQ(expected + "Tessaro.log", path);
  EXPECT_NE(std::string::npos, testsupport::ReadFileOr(path).find(marker));
  DeleteFileA(path.c_str());
}
