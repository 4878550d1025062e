// Per-test folders and file helpers. Each test gets a fresh folder of its own
// below the system's temporary folder, removed when the test passes.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// The program folder with the built deliverables (Kestor.exe, Tessaro.dll,
// ...), and the folder of the test programs; both without a trailing backslash.
std::string ProgramDir();
std::string TestDir();

// A fresh empty folder for one test, named after the running gtest test.
// The destructor removes it unless the test failed (kept for inspection).
class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "\\" + relative
  std::string operator/(const std::string& relative) const;

 private:
  std::string path_;
};

// File helpers over Windows paths. Write creates missing parent folders.
bool WriteFile(const std::string& path, const std::string& bytes);
bool ReadFile(const std::string& path, std::string* bytes);
std::string ReadFileOr(const std::string& path, const std::string& fallback = {});
bool FileExists(const std::string& path);
bool CopyFileTo(const std::string& from, const std::string& to);
// Copies the program folder's bench into `folder`: the hardware port loads
// the bench only from beside its own module, so a deliverable or stand-in
// copied out of the program folder takes the bench along.
bool PlaceBenchIn(const std::string& folder);
bool MakeFolders(const std::string& path);
bool RemoveTree(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace testsupport
