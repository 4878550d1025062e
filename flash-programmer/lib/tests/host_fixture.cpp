#include "host_fixture.h"

#include <gtest/gtest.h>

namespace tessaro_e2e {

using testsupport::ProgramDir;
using testsupport::TestDir;

HostFolder::HostFolder() {
  testsupport::CopyFileTo(TestDir() + "\\tessaro_host.exe", folder_ / "tessaro_host.exe");
  testsupport::CopyFileTo(ProgramDir() + "\\Tessaro.dll", folder_ / "Tessaro.dll");
  testsupport::PlaceBenchIn(folder_.Path());
}

std::string HostFolder::HostArgs(const std::vector<std::string>& actions) const {
  std::string args;
  for (const std::string& a : actions) args += (args.empty() ? "\"" : " \"") + a + "\"";
  return args;
}

std::vector<std::pair<std::string, std::string>> HostFolder::Run(
    const std::vector<std::string>& actions) {
  testsupport::RunProgram(folder_ / "tessaro_host.exe", HostArgs(actions), folder_.Path());
  return Results();
}

bool HostFolder::Start(testsupport::ChildProcess& child, const std::vector<std::string>& actions) {
  return child.Start(folder_ / "tessaro_host.exe", HostArgs(actions), folder_.Path());
}

std::vector<std::pair<std::string, std::string>> HostFolder::Results() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& line :
       testsupport::SplitLines(testsupport::ReadFileOr(folder_ / "host_out.txt"))) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) out.push_back({line.substr(0, eq), line.substr(eq + 1)});
  }
  return out;
}

std::vector<std::string> HostFolder::Values(const std::string& key) const {
  std::vector<std::string> out;
  for (const auto& [k, v] : Results())
    if (k == key) out.push_back(v);
  return out;
}

std::vector<std::string> HostFolder::LogTexts(const std::string& name) const {
  std::vector<std::string> out;
  for (const std::string& line : testsupport::SplitLines(testsupport::ReadFileOr(folder_ / name))) {
    // "M[dd.mm.yy hh:nn:ss,zzz] text"
    if (line.size() >= 25 && (line[0] == 'M' || line[0] == 'D') && line[1] == '[' &&
        line[23] == ']' && line[24] == ' ')
      out.push_back(line.substr(25));
    else
      out.push_back(line);
  }
  return out;
}

std::string HostFolder::WriteProgramFile(const std::string& name,
                                         const tessaro_test::Bytes& bytes) const {
  std::string path = folder_ / name;
  testsupport::WriteFile(path, std::string(bytes.begin(), bytes.end()));
  return path;
}

std::vector<std::string> Holding(const std::vector<std::string>& lines, const std::string& part) {
  std::vector<std::string> out;
  for (const std::string& l : lines)
    if (l.find(part) != std::string::npos) out.push_back(l);
  return out;
}

::testing::AssertionResult InOrder(const std::vector<std::string>& lines,
                                   const std::vector<std::string>& expected) {
  size_t next = 0;
  for (const std::string& l : lines)
    if (next < expected.size() && l == expected[next]) ++next;
  if (next == expected.size()) return ::testing::AssertionSuccess();
  std::string all;
  for (const std::string& l : lines) all += "\n  " + l;
  return ::testing::AssertionFailure()
         << "missing in order: \"" << expected[next] << "\"; the lines were:" << all;
}

}  // namespace tessaro_e2e
