#include "package_builder.h"

#include <regex>

#include "testsupport/testdir.h"

namespace kestortest {

namespace {

bool NamesOutfile(const std::string& key) {
  static const std::regex fileKey("File[0-9]+|(BL|FW)(VERIFY|PROG)(NORM|SUSB)|GOSUSB|REBOOTFILE",
                                  std::regex::icase);
  return std::regex_match(key, fileKey);
}

}  // namespace

PackageBuilder::PackageBuilder(std::string folder) : folder_(std::move(folder)) {}

PackageBuilder::Section& PackageBuilder::SectionNamed(const std::string& name) {
  for (Section& s : sections_) {
    if (s.name == name) return s;
  }
  sections_.push_back({name, {}});
  return sections_.back();
}

PackageBuilder& PackageBuilder::Set(const std::string& section, const std::string& key,
                                    const std::string& value) {
  Section& s = SectionNamed(section);
  for (auto& kv : s.keys) {
    if (kv.first == key) {
      kv.second = value;
      return *this;
    }
  }
  s.keys.emplace_back(key, value);
  return *this;
}

PackageBuilder& PackageBuilder::Package(const std::string& suppDevice, const std::string& version) {
  return Set("Kestor", "SuppDevice", suppDevice).Set("Kestor", "Version", version);
}

PackageBuilder& PackageBuilder::Step(const std::string& section, const KeyValues& keys) {
  Set("UpdateSteps", std::to_string(stepCount_++), section);
  for (const auto& [key, value] : keys) {
    Set(section, key, value);
    if (NamesOutfile(key) && !value.empty() && !outFiles_.count(value)) {
      outFiles_[value] = "program file " + value;
    }
  }
  return *this;
}

PackageBuilder& PackageBuilder::Missing(const std::string& outfileName) {
  missing_.insert(outfileName);
  return *this;
}

PackageBuilder& PackageBuilder::OutFile(const std::string& name, const std::string& bytes) {
  outFiles_[name] = bytes;
  return *this;
}

PackageBuilder& PackageBuilder::Language(const std::string& name, const std::string& file,
                                         const std::map<std::string, KeyValues>& sections) {
  Set("Language List", std::to_string(++languageCount_), name);
  Set(name, "File", file);
  languageFiles_[file] = IniFileText(sections);
  return *this;
}

PackageBuilder& PackageBuilder::WithoutIni() {
  withoutIni_ = true;
  return *this;
}

PackageBuilder& PackageBuilder::WithoutRomtest() {
  withoutRomtest_ = true;
  return *this;
}

PackageBuilder& PackageBuilder::RomtestSays(const std::string& verdict) {
  romtestScripted_ = true;
  romtestVerdict_ = verdict;
  return *this;
}

PackageBuilder& PackageBuilder::RomtestRecords() {
  romtestRecords_ = true;
  return *this;
}

PackageBuilder& PackageBuilder::WithCorvel() {
  withCorvel_ = true;
  return *this;
}

std::string PackageBuilder::IniText() const {
  std::string text;
  for (const Section& s : sections_) {
    text += "[" + s.name + "]\r\n";
    for (const auto& [key, value] : s.keys) text += key + "=" + value + "\r\n";
    text += "\r\n";
  }
  return text;
}

bool PackageBuilder::Write() {
  using testsupport::WriteFile;
  bool ok = testsupport::MakeFolders(folder_ + "\\outfile") &&
            testsupport::MakeFolders(folder_ + "\\configfiles");
  if (!withoutIni_) ok = ok && WriteFile(folder_ + "\\configfiles\\KEST.ini", IniText());
  for (const auto& [name, bytes] : outFiles_) {
    if (!missing_.count(name)) ok = ok && WriteFile(folder_ + "\\outfile\\" + name, bytes);
  }
  for (const auto& [name, text] : languageFiles_) {
    ok = ok && WriteFile(folder_ + "\\configfiles\\" + name, text);
  }
  const std::string program = testsupport::ProgramDir() + "\\";
  if (!withoutRomtest_)
    ok = ok && testsupport::CopyFileTo(program + "romtest.exe", AppFolder() + "romtest.exe");
  if (romtestScripted_) ok = ok && WriteFile(AppFolder() + "romtest.out", romtestVerdict_);
  if (romtestRecords_)
    ok = ok && WriteFile(AppFolder() + "romtest.ini", "[Romtest]\r\nRecord=1\r\n");
  if (withCorvel_) {
    ok = ok && testsupport::CopyFileTo(program + "Corvel.dll", AppFolder() + "Corvel.dll");
  }
  // romtest, Corvel and Kestor copied here find the bench beside them.
  return ok && testsupport::PlaceBenchIn(folder_);
}

bool PackageBuilder::WriteWithKestor() {
  return Write() &&
         testsupport::CopyFileTo(testsupport::ProgramDir() + "\\Kestor.exe", KestorPath());
}

std::string IniFileText(const std::map<std::string, KeyValues>& sections) {
  std::string text;
  for (const auto& [name, keys] : sections) {
    text += "[" + name + "]\r\n";
    for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
    text += "\r\n";
  }
  return text;
}

}  // namespace kestortest
