#include "bench_run.h"

#include <cstdlib>

#include "testsupport/process.h"

namespace corvel_test {

int BenchRun::Result(const std::string& call) const {
  for (const auto& r : results)
    if (r.first == call) return r.second;
  return -12345;
}

std::string BenchRun::Value(const std::string& section, const std::string& key) const {
  char value[1024] = "";
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof value,
                           benchFile.c_str());
  return value;
}

std::vector<std::string> BenchRun::ClassInstallerCalls() const {
  std::vector<std::string> calls;
  int count = std::atoi(Value("SetupCalls", "Count").c_str());
  for (int i = 1; i <= count; ++i) calls.push_back(Value("SetupCalls", "Call" + std::to_string(i)));
  return calls;
}

BenchRun RunOnBench(const testsupport::TestFolder& folder, const std::string& tree,
                    const std::vector<std::string>& calls) {
  BenchRun run;
  run.benchFile = folder / "bench.ini";
  std::string resultFile = folder / "results.txt";
  testsupport::WriteFile(run.benchFile, tree);
  DeleteFileA(resultFile.c_str());
  std::string args = "\"" + testsupport::ProgramDir() + "\\Corvel.dll\" \"" + resultFile + "\"";
  for (const std::string& call : calls) args += " \"" + call + "\"";
  DWORD code = testsupport::RunProgram(testsupport::TestDir() + "\\corvel_call.exe", args,
                                       folder.Path(), {{"LUMETRA_BENCH", run.benchFile}});
  run.started = code == 0;
  for (const std::string& line : testsupport::SplitLines(testsupport::ReadFileOr(resultFile))) {
    size_t eq = line.rfind('=');
    if (eq == std::string::npos) continue;
    run.results.emplace_back(line.substr(0, eq), std::atoi(line.c_str() + eq + 1));
  }
  return run;
}

std::string StoreCopyOf(const std::string& content) {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, sizeof windows);
  std::string folder = std::string(windows) + "\\inf\\";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*.inf").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return "";
  std::string match;
  do {
    std::string path = folder + found.cFileName;
    if (testsupport::ReadFileOr(path, "\x01") == content) match = path;
  } while (match.empty() && FindNextFileA(search, &found));
  FindClose(search);
  return match;
}

}  // namespace corvel_test
