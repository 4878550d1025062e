// The port loads the bench only from beside its own module: never a library
// the environment names, and nothing without a bench file.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "testsupport/process.h"
#include "testsupport/testdir.h"

namespace {

struct LoadingRow {
  const char* proves;
  bool benchBeside;
  bool benchFile;
  bool benchDllNamed;  // the old variable, pointing at a real bench elsewhere
  DWORD active;
  const char* error;  // "@" is the probe's folder
};

const LoadingRow kRows[] = {
    {"the bench beside the program is loaded", true, true, false, 1, ""},
    {"a bench the environment names is not loaded", false, true, true, 0,
     "cannot load @\\LumetraBench.dll (error 126)"},
    {"the bench beside is loaded, not the one named", true, true, true, 1, ""},
    {"without a bench file nothing is loaded", true, false, false, 0, ""},
};

TEST(BenchLoading, OnlyTheBenchBesideTheModule) {
  for (const LoadingRow& row : kRows) {
    SCOPED_TRACE(row.proves);
    testsupport::TestFolder folder;
    ASSERT_TRUE(testsupport::CopyFileTo(testsupport::TestDir() + "\\port_probe.exe",
                                        folder / "port_probe.exe"));
    if (row.benchBeside) {
      ASSERT_TRUE(testsupport::PlaceBenchIn(folder.Path()));
    }
    ASSERT_TRUE(testsupport::WriteFile(folder / "bench.ini", "[Bench]\r\nTimeScale=1\r\n"));
    std::map<std::string, std::string> env = {
        {"LUMETRA_BENCH", row.benchFile ? folder / "bench.ini" : ""},
        {"LUMETRA_BENCH_DLL",
         row.benchDllNamed ? testsupport::ProgramDir() + "\\LumetraBench.dll" : ""}};
    DWORD code = testsupport::RunProgram(folder / "port_probe.exe",
                                         "\"" + (folder / "error.txt") + "\"", {}, env);
    EXPECT_EQ(row.active, code);
    std::string error = row.error;
    if (size_t at = error.find('@'); at != std::string::npos) error.replace(at, 1, folder.Path());
    EXPECT_EQ(error, testsupport::ReadFileOr(folder / "error.txt", "<no file>"));
  }
}

}  // namespace
