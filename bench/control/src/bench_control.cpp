#include "benchctl/bench_control.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "hwport/port.h"
#include "testsupport/testdir.h"

namespace benchctl {

BenchSpec& BenchSpec::TimeScale(int scale) { return Bench("TimeScale", std::to_string(scale)); }

BenchSpec& BenchSpec::Driver(uint16_t apiVersion, uint32_t flags) {
  char v[16];
  wsprintfA(v, "0x%04X", apiVersion);
  driver_["APIVersion"] = v;
  driver_["Flags"] = std::to_string(flags);
  return *this;
}

BenchSpec& BenchSpec::Bench(const std::string& key, const std::string& value) {
  bench_[key] = value;
  return *this;
}

BenchSpec& BenchSpec::Instrument(int productId, const std::string& serial) {
  devices_.push_back(DeviceSpec{productId, serial, {}});
  return *this;
}

BenchSpec& BenchSpec::Supply(int productId, const std::string& serial) {
  return Instrument(productId, serial);
}

BenchSpec& BenchSpec::With(const std::string& key, const std::string& value) {
  if (!devices_.empty()) devices_.back().Set(key, value);
  return *this;
}

BenchSpec& BenchSpec::WithDevice(int slot, const std::string& key, const std::string& value) {
  if (slot >= 0 && static_cast<size_t>(slot) < devices_.size()) devices_[slot].Set(key, value);
  return *this;
}

BenchSpec& BenchSpec::Fault(const std::string& description) {
  FaultSpec f;
  std::istringstream in(description);
  std::string word;
  while (in >> word) {
    size_t eq = word.find('=');
    if (eq != std::string::npos) f.keys[word.substr(0, eq)] = word.substr(eq + 1);
  }
  faults_.push_back(f);
  return *this;
}

std::string BenchSpec::Text() const {
  std::string t = "[Bench]\r\n";
  for (auto& kv : bench_) t += kv.first + "=" + kv.second + "\r\n";
  t += "\r\n[Driver]\r\n";
  for (auto& kv : driver_) t += kv.first + "=" + kv.second + "\r\n";
  for (size_t i = 0; i < devices_.size(); ++i) {
    const DeviceSpec& d = devices_[i];
    t += "\r\n[Device" + std::to_string(i) + "]\r\nProductId=" + std::to_string(d.productId) +
         "\r\n";
    if (!d.serial.empty()) t += "Serial=" + d.serial + "\r\n";
    for (auto& kv : d.keys) t += kv.first + "=" + kv.second + "\r\n";
  }
  for (size_t i = 0; i < faults_.size(); ++i) {
    t += "\r\n[Fault" + std::to_string(i + 1) + "]\r\n";
    for (auto& kv : faults_[i].keys) t += kv.first + "=" + kv.second + "\r\n";
  }
  return t;
}

bool BenchSpec::Write(const std::string& path) const {
  return testsupport::WriteFile(path, Text());
}

bool Activate(const std::string& benchFile) {
  SetEnvironmentVariableA("LUMETRA_BENCH", benchFile.c_str());
  if (!hwport::BenchActive()) return false;
  // The port loaded the bench on the first file it was given; a later test
  // opens it again on its own.
  auto open = hwport::BenchFunction<int (*)(const char*)>("BenchOpen");
  return open && open(benchFile.c_str()) != 0;
}

bool BenchFromTheStart() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string path =
      std::string(temp) + "lumetra_bench_start_" + std::to_string(GetCurrentProcessId()) + ".ini";
  if (!BenchSpec().Write(path)) return false;
  SetEnvironmentVariableA("LUMETRA_BENCH", path.c_str());
  return hwport::BenchActive();
}

std::string UseBench(const std::string& folder, const BenchSpec& spec) {
  std::string path = folder + "\\bench.ini";
  if (!spec.Write(path) || !Activate(path)) return {};
  return path;
}

std::vector<std::string> CallRecord() {
  auto fn = hwport::BenchFunction<DWORD (*)(char*, DWORD)>("BenchCallRecord");
  if (!fn) return {};
  std::string text(fn(nullptr, 0) + 1, '\0');
  fn(text.data(), static_cast<DWORD>(text.size()));
  text.resize(text.size() - 1);
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> CallRecord(const std::string& part) {
  std::vector<std::string> out;
  for (auto& l : CallRecord())
    if (l.find(part) != std::string::npos) out.push_back(l);
  return out;
}

void ClearRecord() {
  if (auto fn = hwport::BenchFunction<void (*)()>("BenchClearRecord")) fn();
}

bool RemoveDevice(int slot) {
  auto fn = hwport::BenchFunction<BOOL (*)(int)>("BenchRemoveDevice");
  return fn && fn(slot);
}

bool ArriveDevice(int slot) {
  auto fn = hwport::BenchFunction<BOOL (*)(int)>("BenchArriveDevice");
  return fn && fn(slot);
}

bool QueueTransfer(int slot, uint8_t endpoint, const std::vector<uint8_t>& bytes) {
  auto fn = hwport::BenchFunction<BOOL (*)(int, BYTE, const void*, DWORD)>("BenchQueueTransfer");
  return fn && fn(slot, endpoint, bytes.data(), static_cast<DWORD>(bytes.size()));
}

std::vector<uint8_t> PacketTaken(int slot, int index) {
  auto fn = hwport::BenchFunction<int (*)(int, int, void*, DWORD)>("BenchPacketTaken");
  if (!fn) return {};
  int n = fn(slot, index, nullptr, 0);
  if (n < 0) return {};
  std::vector<uint8_t> p(static_cast<size_t>(n));
  fn(slot, index, p.data(), static_cast<DWORD>(p.size()));
  return p;
}

size_t AnswerHeld() {
  auto fn = hwport::BenchFunction<DWORD (*)()>("BenchAnswerHeld");
  return fn ? fn() : 0;
}

bool EndFaults(const std::string& benchFile, const std::vector<std::string>& keys) {
  std::istringstream in(testsupport::ReadFileOr(benchFile));
  std::string text, line;
  bool fault = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') fault = line.compare(0, 6, "[Fault") == 0;
    bool dropped = fault;
    for (const std::string& key : keys)
      if (line.compare(0, key.size() + 1, key + "=") == 0) dropped = true;
    if (!dropped) text += line + "\n";
  }
  return testsupport::WriteFile(benchFile, text) && Activate(benchFile);
}

std::string ReadState(const std::string& benchFile, const std::string& section,
                      const std::string& key) {
  char value[4096];
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof value,
                           benchFile.c_str());
  return value;
}

std::vector<std::string> FaultsNotFired(const std::string& benchFile) {
  std::vector<std::string> quiet;
  for (const std::string& line : testsupport::SplitLines(testsupport::ReadFileOr(benchFile))) {
    if (line.compare(0, 6, "[Fault") != 0 || line.find(']') == std::string::npos) continue;
    const std::string section = line.substr(1, line.find(']') - 1);
    if (ReadState(benchFile, section, "Operation").empty()) continue;
    if (std::atoi(ReadState(benchFile, section, "Fired").c_str()) <= 0) quiet.push_back(section);
  }
  return quiet;
}

}  // namespace benchctl
