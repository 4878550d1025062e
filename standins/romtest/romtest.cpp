// romtest: checks an update package's configuration file as far as the update
// manager relies on it, and prints its verdict as a leading number:
// "1 package valid" or "0 <reason>".
//
//   romtest.exe "<package>\configfiles\kest.ini"
//
// Tests steer it with files beside romtest.exe:
//   romtest.out  its bytes are printed verbatim in place of the verdict
//   romtest.ini  [Romtest] DelayMs=n      answer after n ms of the port's clock
//                          StderrBytes=n  write n bytes to standard error first
//                          StdoutBytes=n  write n more bytes after the verdict
//                          Record=1       write the command line to romtest.cmdline
#include <windows.h>

#include <string>

#include "hwport/clock.h"

namespace {

std::string OwnFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n < MAX_PATH ? n : 0);
  size_t slash = p.find_last_of('\\');
  return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

bool ReadWhole(const std::string& path, std::string* bytes) {
  HANDLE f =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD got = 0;
  bytes->clear();
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes->append(buffer, got);
  CloseHandle(f);
  return true;
}

void WriteAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD put = 0;
    if (!WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put,
                   nullptr) ||
        put == 0)
      return;
    done += put;
  }
}

void WriteFiller(HANDLE h, UINT count) {
  const std::string line = "romtest: checking block ......................................\r\n";
  while (count > 0) {
    UINT n = count < line.size() ? count : static_cast<UINT>(line.size());
    WriteAll(h, line.substr(0, n));
    count -= n;
  }
}

std::string Profile(const std::string& file, const char* section, const char* key) {
  char value[512];
  GetPrivateProfileStringA(section, key, "", value, sizeof value, file.c_str());
  return value;
}

// The package's verdict: what the update manager needs before it reads the
// configuration: the file, the supported device, the release, and a section
// for every update step it lists.
std::string Judge(int argc, char** argv) {
  if (argc < 2) return "0 no configuration file given\r\n";
  const std::string ini = argv[1];
  if (GetFileAttributesA(ini.c_str()) == INVALID_FILE_ATTRIBUTES)
    return "0 configuration file missing: " + ini + "\r\n";
  if (Profile(ini, "Kestor", "SuppDevice").empty()) return "0 [Kestor] SuppDevice missing\r\n";
  if (Profile(ini, "Kestor", "Version").empty()) return "0 [Kestor] Version missing\r\n";
  for (int i = 0;; ++i) {
    std::string section = Profile(ini, "UpdateSteps", std::to_string(i).c_str());
    if (section.empty()) break;
    char keys[64];
    if (GetPrivateProfileSectionA(section.c_str(), keys, sizeof keys, ini.c_str()) == 0)
      return "0 step section [" + section + "] missing\r\n";
  }
  return "1 package valid\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = OwnFolder();
  const std::string control = folder + "romtest.ini";
  if (GetPrivateProfileIntA("Romtest", "Record", 0, control.c_str()) != 0) {
    HANDLE f = CreateFileA((folder + "romtest.cmdline").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      WriteAll(f, GetCommandLineA());
      CloseHandle(f);
    }
  }
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  WriteFiller(err, GetPrivateProfileIntA("Romtest", "StderrBytes", 0, control.c_str()));
  hwport::Sleep(GetPrivateProfileIntA("Romtest", "DelayMs", 0, control.c_str()));

  std::string verdict;
  if (!ReadWhole(folder + "romtest.out", &verdict)) verdict = Judge(argc, argv);
  WriteAll(out, verdict);
  WriteFiller(out, GetPrivateProfileIntA("Romtest", "StdoutBytes", 0, control.c_str()));
  return verdict.empty() || verdict[0] == '0' ? 1 : 0;
}
