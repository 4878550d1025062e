#include "testsupport/testdir.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace testsupport {

std::string ProgramDir() { return LUMETRA_PROGRAM_DIR; }
std::string TestDir() { return LUMETRA_TEST_DIR; }

namespace {

std::string SafeName(std::string s) {
  for (char& c : s)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return s;
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

TestFolder::TestFolder() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string name = "lumetra_test";
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
    name = SafeName(std::string(info->test_suite_name()) + "_" + info->name());
  path_ = std::string(temp) + name.substr(0, 80) + "_" + std::to_string(GetCurrentProcessId());
  RemoveTree(path_);
  MakeFolders(path_);
}

TestFolder::~TestFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info && info->result() && info->result()->Failed()) return;
  RemoveTree(path_);
}

std::string TestFolder::operator/(const std::string& relative) const {
  return path_ + "\\" + relative;
}

bool MakeFolders(const std::string& path) {
  if (path.empty()) return false;
  DWORD attr = GetFileAttributesA(path.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
  std::string parent = ParentOf(path);
  if (!parent.empty() && parent.size() > 2) MakeFolders(parent);
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  MakeFolders(ParentOf(path));
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == bytes.size();
}

bool ReadFile(const std::string& path, std::string* bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(f, nullptr);
  bytes->assign(size, '\0');
  DWORD read = 0;
  BOOL ok = size == 0 || ::ReadFile(f, bytes->data(), size, &read, nullptr);
  CloseHandle(f);
  bytes->resize(read);
  return ok != FALSE;
}

std::string ReadFileOr(const std::string& path, const std::string& fallback) {
  std::string bytes;
  return ReadFile(path, &bytes) ? bytes : fallback;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  MakeFolders(ParentOf(to));
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool PlaceBenchIn(const std::string& folder) {
  std::string to = folder;
  if (to.empty() || to.back() != '\\') to += '\\';
  return CopyFileTo(ProgramDir() + "\\LumetraBench.dll", to + "LumetraBench.dll");
}

bool RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  return RemoveDirectoryA(path.c_str()) != FALSE;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace testsupport
