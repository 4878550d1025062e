// Bench control for tests: writes bench files from a short description,
// points this process (and its children) at one, and reads back what the
// bench saw: the call record, the packets a device took, the persistent state.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace benchctl {

struct DeviceSpec {
  int productId = 5;
  std::string serial = "1001";
  std::map<std::string, std::string> keys;  // further keys of the [DeviceN] section

  DeviceSpec& Set(const std::string& key, const std::string& value) {
    keys[key] = value;
    return *this;
  }
};

struct FaultSpec {
  std::map<std::string, std::string> keys;  // Device, Operation, FacId, Action, ...
};

// A bench file in the making. Devices take slots 0, 1, ... in the order added.
class BenchSpec {
 public:
  BenchSpec& TimeScale(int scale);
  BenchSpec& Driver(uint16_t apiVersion, uint32_t flags = 0);
  BenchSpec& Bench(const std::string& key, const std::string& value);
  BenchSpec& Instrument(int productId, const std::string& serial);
  BenchSpec& Supply(int productId, const std::string& serial);
  // Further keys for the last device added.
  BenchSpec& With(const std::string& key, const std::string& value);
  // Further keys for the device in `slot`.
  BenchSpec& WithDevice(int slot, const std::string& key, const std::string& value);
  // A fault rule: "Operation=VendorRequestIn FacId=0x0200 Action=Status Status=0xE0000004".
  BenchSpec& Fault(const std::string& description);

  std::string Text() const;
  bool Write(const std::string& path) const;

 private:
  std::map<std::string, std::string> bench_{{"TimeScale", "1"}};
  std::map<std::string, std::string> driver_{{"APIVersion", "0x0141"}};
  std::vector<DeviceSpec> devices_;
  std::vector<FaultSpec> faults_;
};

// Points the port at a bench file: sets LUMETRA_BENCH (for child processes
// too) and, when this process has loaded the bench already, opens it on the
// new file (handles of the old one end). False when the bench does not take
// the file.
bool Activate(const std::string& benchFile);

// The port chooses between bench and PC once per process, at its first
// call; a test program that uses the bench calls this at static
// initialisation so a bench (with an empty bus) is there from the start:
//   const bool kBench = benchctl::BenchFromTheStart();
bool BenchFromTheStart();

// Writes `spec` as "bench.ini" into `folder` and activates it; returns the
// file's path (empty when the bench did not take it).
std::string UseBench(const std::string& folder, const BenchSpec& spec);

// The call record of this process's bench, one call a line.
std::vector<std::string> CallRecord();
// Only the lines that contain `part`.
std::vector<std::string> CallRecord(const std::string& part);
void ClearRecord();

bool RemoveDevice(int slot);
bool ArriveDevice(int slot);
bool QueueTransfer(int slot, uint8_t endpoint, const std::vector<uint8_t>& bytes);
// The index-th DataPacket the device took on 0x02; empty when none.
std::vector<uint8_t> PacketTaken(int slot, int index);
// Gives every answer the bench holds back for a time (Action=Late, the
// driver's time-out of Action=NoAnswer) now, as at its time, and returns how
// many there were. A Late rule with a DelayMs no run reaches holds a caller
// at that request until the test has done what it must do there.
size_t AnswerHeld();

// The technician's fix after a fault: drops every [FaultN] rule and every
// device key named in `keys` (a faulty RebootFault, a slow RebootMs) from the
// bench file and opens the bench on it again, so every device is back on the
// bus as the file describes it (its persistent state, its mode and its flash
// kept). For a test between two runs, while nothing uses the bench.
bool EndFaults(const std::string& benchFile, const std::vector<std::string>& keys = {});

// A value of the bench file's persistent state, as any process sees it now.
std::string ReadState(const std::string& benchFile, const std::string& section,
                      const std::string& key);

// The [FaultN] rules of the bench file that have not fired so far (their
// section names). A fault test checks that its fault happened before it
// takes the rules away (EndFaults):
//   EXPECT_EQ(benchctl::FaultsNotFired(file), std::vector<std::string>{});
std::vector<std::string> FaultsNotFired(const std::string& benchFile);

}  // namespace benchctl
