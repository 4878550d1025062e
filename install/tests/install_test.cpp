// install run as an installer runs it: copied with its driver folder into a
// folder of the test's own, started, its error box read and closed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "inf_path.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

const char kTitle[] = "install";
const char kErrorText[] = "Error will occur while installation process.";

std::string Sample() {
  return testsupport::ReadFileOr(testsupport::ProgramDir() + "\\driver\\vdlm.inf");
}

std::string StoreFolder() {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, sizeof windows);
  return std::string(windows) + "\\inf\\";
}

// The driver store's copy of the INF with these bytes ("" when none).
std::string StoreCopyOf(const std::string& content) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((StoreFolder() + "*.inf").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return "";
  std::string match;
  do {
    std::string path = StoreFolder() + found.cFileName;
    if (testsupport::ReadFileOr(path, "\x01") == content) match = path;
  } while (match.empty() && FindNextFileA(search, &found));
  FindClose(search);
  return match;
}

void RemoveFromStore(const std::string& storeInf) {
  DeleteFileA(storeInf.c_str());
  DeleteFileA((storeInf.substr(0, storeInf.size() - 4) + ".pnf").c_str());
}

struct Outcome {
  DWORD exitCode;
  std::vector<testsupport::AnsweredBox> boxes;
};

// Starts install.exe at programPath and closes each of its boxes with OK.
Outcome RunInstall(const std::string& programPath) {
  testsupport::ChildProcess child;
  EXPECT_TRUE(child.Start(programPath, "")) << child.LastError();
  testsupport::MessageBoxAnswerer answerer({{kTitle, kErrorText, IDOK}}, child.Pid(), IDOK);
  EXPECT_TRUE(child.Wait(60000));
  return {child.ExitCode(), answerer.Seen()};
}

std::string PlaceProgram(const std::string& folder) {
  std::string program = folder + "\\install.exe";
  EXPECT_TRUE(testsupport::CopyFileTo(testsupport::ProgramDir() + "\\install.exe", program));
  return program;
}

TEST(Install, CopiesTheInfBesideItIntoTheStoreSilently) {
  testsupport::TestFolder folder;
  std::string sample = Sample();
  ASSERT_NE("", sample);
  // This test's own bytes, so no other test's store copy is touched.
  std::string inf = "; install success\r\n" + sample;
  testsupport::WriteFile(folder / "driver\\vdlm.inf", inf);
  Outcome outcome = RunInstall(PlaceProgram(folder.Path()));
  EXPECT_EQ(0u, outcome.exitCode);
  EXPECT_TRUE(outcome.boxes.empty());
  std::string store = StoreCopyOf(inf);
  EXPECT_NE("", store);
  if (!store.empty()) RemoveFromStore(store);
}

TEST(Install, ShippedSampleInfIsAcceptedByTheStore) {
  testsupport::TestFolder folder;
  testsupport::WriteFile(folder / "driver\\vdlm.inf", Sample());
  Outcome outcome = RunInstall(PlaceProgram(folder.Path()));
  EXPECT_EQ(0u, outcome.exitCode);
  EXPECT_TRUE(outcome.boxes.empty());
  std::string store = StoreCopyOf(Sample());
  EXPECT_NE("", store);
  if (!store.empty()) RemoveFromStore(store);
}

TEST(Install, ProgramInTheRootOfDriveCTakesTheDriverFolderOfThatRoot) {
  const std::string program = "C:\\install.exe";
  const std::string driverFolder = "C:\\driver";
  const std::string inf = driverFolder + "\\vdlm.inf";
  if (testsupport::FileExists(program) || testsupport::FileExists(driverFolder))
    GTEST_SKIP() << "the root of drive C already holds install.exe or a driver folder";
  std::string bytes = "; install from the root of drive C\r\n" + Sample();
  ASSERT_TRUE(testsupport::WriteFile(inf, bytes));
  ASSERT_TRUE(testsupport::CopyFileTo(testsupport::ProgramDir() + "\\install.exe", program));
  Outcome outcome = RunInstall(program);
  EXPECT_EQ(0u, outcome.exitCode);
  EXPECT_TRUE(outcome.boxes.empty());
  std::string store = StoreCopyOf(bytes);
  EXPECT_NE("", store);
  if (!store.empty()) RemoveFromStore(store);
  DeleteFileA(program.c_str());
  DeleteFileA(inf.c_str());
  RemoveDirectoryA(driverFolder.c_str());
}

TEST(Install, FailuresShowTheErrorBoxAndExitWithTheWindowsError) {
  struct Case {
    const char* name;
    const char* infText;  // null: no driver folder at all
    DWORD exitCode;
  };
  const Case cases[] = {
      {"NoDriverFolder", nullptr, ERROR_PATH_NOT_FOUND},
      // Wine's "expected a section name" for a file without sections.
      {"NotASetupInformationFile", "no sections here\r\n", 0xE0000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TestFolder folder;
    if (c.infText) testsupport::WriteFile(folder / "driver\\vdlm.inf", c.infText);
    Outcome outcome = RunInstall(PlaceProgram(folder.Path()));
    EXPECT_EQ(c.exitCode, outcome.exitCode) << c.name;
    ASSERT_EQ(1u, outcome.boxes.size()) << c.name;
    EXPECT_EQ(kTitle, outcome.boxes[0].caption);
    EXPECT_EQ(kErrorText, outcome.boxes[0].text);
    EXPECT_EQ(IDOK, outcome.boxes[0].buttonId);
  }
}

TEST(Install, ProgramFolderTooDeepForTheInfPathIsRefused) {
  testsupport::TestFolder folder;
  // A folder whose program path fits MAX_PATH but whose INF path does not.
  std::string deep = folder.Path();
  const std::string program = "\\install.exe";
  while (deep.size() + program.size() + 10 < MAX_PATH - 1) deep += "\\deeper";
  deep += std::string(MAX_PATH - 1 - program.size() - deep.size() - 2, 'd');
  ASSERT_TRUE(testsupport::MakeFolders(deep));
  ASSERT_LT(deep.size() + program.size(), static_cast<size_t>(MAX_PATH));
  ASSERT_GE(deep.size() + 1 + std::string("driver\\vdlm.inf").size(),
            static_cast<size_t>(MAX_PATH));
  testsupport::WriteFile(deep + "\\driver\\vdlm.inf", Sample());
  Outcome outcome = RunInstall(PlaceProgram(deep));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ(kErrorText, outcome.boxes[0].text);
}

TEST(InfPath, ReplacesTheProgramNameAndRefusesWhatDoesNotFit) {
  std::string inf;
  ASSERT_TRUE(install::InfPathBeside("C:\\install.exe", MAX_PATH, &inf));
  EXPECT_EQ("C:\\driver\\vdlm.inf", inf);
  ASSERT_TRUE(install::InfPathBeside("C:\\Program Files\\Lumetra\\install.exe", MAX_PATH, &inf));
  EXPECT_EQ("C:\\Program Files\\Lumetra\\driver\\vdlm.inf", inf);
  // "C:\ab\" + "driver\vdlm.inf" is 21 characters: 22 bytes with the terminator.
  EXPECT_TRUE(install::InfPathBeside("C:\\ab\\install.exe", 22, &inf));
  std::string before = inf;
  EXPECT_FALSE(install::InfPathBeside("C:\\ab\\install.exe", 21, &inf));
  EXPECT_EQ(before, inf);
}

}  // namespace
