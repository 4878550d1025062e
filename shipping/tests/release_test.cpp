// The release folder as a technician receives it: the four deliverables and
// the driver folder, each binary loadable on Windows 2000 SP4 (imports on the
// allow-list, header versions at most 5.0) and exporting exactly its
// documented names and ordinals.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pe_image.h"
#include "testsupport/testdir.h"

namespace {

const std::string kRelease = LUMETRA_SHIPPED_RELEASE_DIR;
const char* const kBinaries[] = {"Kestor.exe", "Tessaro.dll", "Corvel.dll", "install.exe"};
constexpr uint16_t kI386 = 0x14C;
constexpr uint16_t kWindowsGui = 2;
constexpr uint16_t kWindowsConsole = 3;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Every file below `folder`, as paths relative to it.
void ListFiles(const std::string& folder, const std::string& prefix, std::set<std::string>* out) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(folder + "\\" + name, prefix + name + "\\", out);
    else
      out->insert(prefix + name);
  } while (FindNextFileA(h, &found));
  FindClose(h);
}

release::PeImage Read(const std::string& binary) {
  release::PeImage image;
  std::string bytes, error;
  EXPECT_TRUE(testsupport::ReadFile(kRelease + "\\" + binary, &bytes)) << binary;
  EXPECT_TRUE(
      release::ReadPeImage(std::vector<uint8_t>(bytes.begin(), bytes.end()), &image, &error))
      << binary << ": " << error;
  return image;
}

// The allow-list: upper-case DLL name -> functions.
std::map<std::string, std::set<std::string>> AllowList() {
  std::map<std::string, std::set<std::string>> list;
  std::string text, section;
  EXPECT_TRUE(testsupport::ReadFile(
      std::string(LUMETRA_SOURCE_DIR) + "\\shipping\\win2000_imports.txt", &text));
  for (std::string line : testsupport::SplitLines(text)) {
    line.erase(line.find_last_not_of(" \t\r") + 1);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']')
      section = Upper(line.substr(1, line.size() - 2));
    else
      list[section].insert(line);
  }
  return list;
}

TEST(ReleaseFolder, HoldsTheDeliverablesAndTheDriverOnly) {
  ASSERT_TRUE(testsupport::FileExists(kRelease))
      << "no release folder at " << kRelease << ": the i686 build lays it out";
  std::set<std::string> files;
  ListFiles(kRelease, "", &files);
  EXPECT_EQ(std::set<std::string>(
                {"Corvel.dll", "Kestor.exe", "Tessaro.dll", "install.exe", "driver\\vdlm.inf"}),
            files)
      << "in " << kRelease;
}

TEST(ReleaseFolder, ImportsOnlyWhatWindows2000Exports) {
  const auto allowed = AllowList();
  ASSERT_FALSE(allowed.empty());
  for (const char* binary : kBinaries) {
    release::PeImage image = Read(binary);
    EXPECT_FALSE(image.imports.empty()) << binary;
    for (const release::ImportedDll& dll : image.imports) {
      auto list = allowed.find(Upper(dll.dll));
      if (list == allowed.end()) {
        ADD_FAILURE() << binary << " imports from " << dll.dll
                      << ", not a system DLL on the allow-list (shipping/win2000_imports.txt)";
        continue;
      }
      for (const std::string& function : dll.functions)
        EXPECT_TRUE(list->second.count(function))
            << binary << " imports " << dll.dll << "!" << function
            << ": check that Windows 2000 SP4 exports it, then add it to "
               "shipping/win2000_imports.txt";
    }
  }
}

TEST(ReleaseFolder, HeadersAskForNothingAfterWindows2000) {
  for (const char* binary : kBinaries) {
    SCOPED_TRACE(binary);
    release::PeImage image = Read(binary);
    EXPECT_EQ(kI386, image.machine);
    EXPECT_FALSE(image.pe32Plus);
    // A DLL's subsystem means nothing to the loader, only its version does.
    if (std::string(binary).find(".exe") != std::string::npos)
      EXPECT_EQ(kWindowsGui, image.subsystem);
    else
      EXPECT_TRUE(image.subsystem == kWindowsGui || image.subsystem == kWindowsConsole)
          << image.subsystem;
    EXPECT_LE(image.osMajor * 100 + image.osMinor, 500)
        << "OS version " << image.osMajor << "." << image.osMinor;
    EXPECT_LE(image.subsystemMajor * 100 + image.subsystemMinor, 500)
        << "subsystem version " << image.subsystemMajor << "." << image.subsystemMinor;
  }
}

std::string ExportText(const release::PeImage& image) {
  std::ostringstream text;
  for (const auto& e : image.exports) text << e.name << " @" << e.ordinal << "\n";
  if (image.unnamedExports) text << image.unnamedExports << " by ordinal only\n";
  return text.str();
}

// Corvel's documented exports: the names of its .def, without the 32-bit
// stdcall decoration.
std::set<std::string> CorvelDefNames() {
  std::string text;
  EXPECT_TRUE(testsupport::ReadFile(std::string(LUMETRA_SOURCE_DIR) + "\\device-access\\Corvel.def",
                                    &text));
  std::set<std::string> names;
  bool exports = false;
  for (const std::string& raw : testsupport::SplitLines(text)) {
    std::istringstream line(raw);
    std::string word;
    if (!(line >> word) || word[0] == ';') continue;
    if (word == "EXPORTS") {
      exports = true;
    } else if (exports) {
      names.insert(word.substr(0, word.find('@')));
    }
  }
  return names;
}

TEST(ReleaseFolder, ExportsExactlyTheDocumentedNamesAndOrdinals) {
  EXPECT_EQ("CloseIt @2\nGetStatus @3\nLogFile @1\nPrograming @4\nShowIt @5\n",
            ExportText(Read("Tessaro.dll")));

  release::PeImage corvel = Read("Corvel.dll");
  std::set<std::string> names;
  for (const auto& e : corvel.exports) names.insert(e.name);
  EXPECT_EQ(CorvelDefNames(), names);
  EXPECT_EQ(names.size(), corvel.exports.size()) << ExportText(corvel);
  EXPECT_EQ(0u, corvel.unnamedExports);

  EXPECT_EQ("", ExportText(Read("Kestor.exe")));
  EXPECT_EQ("", ExportText(Read("install.exe")));
}

// A folder as the Wine path the test gets ("Z:\work\src") and as the Unix
// path the compiler saw ("/work/src"), the forms a binary could carry.
std::vector<std::string> PathForms(std::string wine) {
  while (!wine.empty() && wine.back() == '\\') wine.pop_back();
  if (wine.size() > 2 && wine[1] == ':') wine.erase(0, 2);
  std::string slashed = wine;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  return {wine, slashed};
}

// Debug information and __FILE__ texts name the build machine's folders;
// what a technician receives names none.
TEST(ReleaseFolder, NamesNoFolderOfTheBuildMachine) {
  std::vector<std::string> paths = PathForms(LUMETRA_SOURCE_DIR);
  const std::string build = kRelease.substr(0, kRelease.find_last_of('\\'));
  for (const std::string& form : PathForms(build)) paths.push_back(form);
  std::set<std::string> files;
  ListFiles(kRelease, "", &files);
  ASSERT_FALSE(files.empty());
  for (const std::string& file : files) {
    std::string bytes;
    ASSERT_TRUE(testsupport::ReadFile(kRelease + "\\" + file, &bytes)) << file;
    for (const std::string& path : paths)
      EXPECT_EQ(bytes.find(path), std::string::npos) << file << " holds " << path;
  }
}

std::string ImportText(const release::PeImage& image) {
  std::string text;
  for (const auto& dll : image.imports)
    for (const auto& f : dll.functions) text += dll.dll + "!" + f + "\n";
  return text;
}

// A cut or damaged image gives an error or what the whole image gives, and
// never a read past its end.
TEST(PeImage, DamagedImagesGiveAnErrorOrTheWholeTables) {
  std::string text;
  ASSERT_TRUE(testsupport::ReadFile(kRelease + "\\Tessaro.dll", &text));
  const std::vector<uint8_t> whole(text.begin(), text.end());
  release::PeImage image;
  std::string error;
  ASSERT_TRUE(release::ReadPeImage(whole, &image, &error)) << error;
  const std::string imports = ImportText(image), exports = ExportText(image);
  size_t failures = 0;
  for (size_t length = 0; length < whole.size(); length += 1 + length / 16) {
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + length);
    if (release::ReadPeImage(cut, &image, &error)) {
      EXPECT_EQ(imports, ImportText(image)) << "cut at " << length;
      EXPECT_EQ(exports, ExportText(image)) << "cut at " << length;
    } else {
      ++failures;
      EXPECT_FALSE(error.empty()) << "cut at " << length;
    }
  }
  EXPECT_GT(failures, 0u);
  std::vector<uint8_t> farHeader = whole;
  farHeader[60] = farHeader[61] = farHeader[62] = farHeader[63] = 0xFF;
  EXPECT_FALSE(release::ReadPeImage(farHeader, &image, &error));
  EXPECT_EQ("no PE signature", error);
}

}  // namespace
