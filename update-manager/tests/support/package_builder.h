// Lays out an update package from a short description in a test:
// configfiles\KEST.ini, language files in configfiles\, the files below
// outfile\ that the steps name, and a copy of Kestor.exe beside them so
// Kestor finds configfiles\ next to itself.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestortest {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

class PackageBuilder {
 public:
  // folder: the package folder (created when missing), without a trailing "\".
  explicit PackageBuilder(std::string folder);

  // One key of KEST.ini; sections and keys keep the order of their first use.
  PackageBuilder& Set(const std::string& section, const std::string& key, const std::string& value);
  // The supported device and release of the package ([Kestor]).
  PackageBuilder& Package(const std::string& suppDevice, const std::string& version);
  // A step: the next [UpdateSteps] key names `section`, which gets `keys`.
  // Files named by its file keys (File<n>, BL*/FW* paths, GOSUSB, REBOOTFILE)
  // are created below outfile\ unless marked missing.
  PackageBuilder& Step(const std::string& section, const KeyValues& keys);
  // Keeps a named outfile\ file from being created.
  PackageBuilder& Missing(const std::string& outfileName);
  PackageBuilder& OutFile(const std::string& name, const std::string& bytes);
  // A language: the next [Language List] entry, its section with File, and
  // the language file configfiles\<file> with the given sections.
  PackageBuilder& Language(const std::string& name, const std::string& file,
                           const std::map<std::string, KeyValues>& sections);
  // Leaves KEST.ini out of the package.
  PackageBuilder& WithoutIni();
  // Leaves the package checker romtest.exe out (it is copied by default).
  PackageBuilder& WithoutRomtest();
  // Makes romtest print `verdict` verbatim instead of judging the package.
  PackageBuilder& RomtestSays(const std::string& verdict);
  // Makes romtest write its command line to romtest.cmdline beside it.
  PackageBuilder& RomtestRecords();
  // Puts Corvel.dll and the bench library beside Kestor.
  PackageBuilder& WithCorvel();

  // Writes everything; false on a file error.
  bool Write();
  // Write() and a copy of Kestor.exe from the program folder.
  bool WriteWithKestor();

  const std::string& Folder() const { return folder_; }
  std::string AppFolder() const { return folder_ + "\\"; }
  std::string KestorPath() const { return folder_ + "\\Kestor.exe"; }
  std::string IniText() const;

 private:
  struct Section {
    std::string name;
    KeyValues keys;
  };
  Section& SectionNamed(const std::string& name);

  std::string folder_;
  std::vector<Section> sections_;
  std::map<std::string, std::string> outFiles_;
  std::set<std::string> missing_;
  std::map<std::string, std::string> languageFiles_;
  int stepCount_ = 0;
  int languageCount_ = 0;
  bool withoutIni_ = false;
  bool withoutRomtest_ = false;
  bool withCorvel_ = false;
  bool romtestScripted_ = false;
  bool romtestRecords_ = false;
  std::string romtestVerdict_;
};

// Text of an INI file; its sections come in the order of their names.
std::string IniFileText(const std::map<std::string, KeyValues>& sections);

}  // namespace kestortest
