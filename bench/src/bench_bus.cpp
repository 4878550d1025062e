// The bench's bus: devices by slot, arrival and removal with the notices
// they send, interface-list snapshots, fault rules and the call record.
#include <windows.h>
// after windows.h
#include <dbt.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "bench_core.h"
#include "bench_state.h"
#include "usb_protocol.h"

namespace bench {
namespace {

// The driver's device interface class and the USB device class: a device's
// arrival and removal are announced to windows registered for either.
const GUID kDriverGuid = {
    0x7A3C51E2, 0x4B90, 0x4D1F, {0xA6, 0xE8, 0x2C, 0x5B, 0x9D, 0x04, 0xF7, 0x13}};
const GUID kUsbDeviceGuid = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

constexpr int kMaxSlots = 64;

// Whether `name` is one of the bench file's words in `list`.
template <typename List>
bool Names(const List& list, const std::string& name) {
  return std::find(std::begin(list), std::end(list), name) != std::end(list);
}

bool IsFaultOperation(const std::string& name) {
  return Names(kOtherFaultOperations, name) ||
         std::any_of(std::begin(kIoControlNames), std::end(kIoControlNames),
                     [&](const IoControlName& io) { return name == io.name; });
}

// Runs actions at wall-clock deadlines on one thread of the bench. A caller
// entering the bench first runs the state changes that are already due
// (`CatchUp`), so what it sees never depends on how promptly the bench's
// thread was scheduled: a device due back is back. Window notices are left to
// the bench's thread, so no caller ever waits for a window.
class Scheduler {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Runner { AnyCaller, BenchThread };

  static Scheduler& Instance() {
    static Scheduler* s = new Scheduler;  // lives until the process ends
    return *s;
  }
  // The base of a new deadline: inside an action, the action's own deadline,
  // so a chain of delays keeps to the bench's time even when it runs late.
  static Clock::time_point Now() {
    return runningDeadline != 0 ? Clock::time_point(Clock::duration(runningDeadline))
                                : Clock::now();
  }
  void At(Clock::time_point when, std::function<void()> action, Runner runner) {
    lm::Lock g(mutex_);
    if (!started_) {
      started_ = true;
      lm::Thread([this] { Run(); }).Detach();
    }
    if (runner == Runner::BenchThread) {
      // Notices go out in the order they were queued.
      when = std::max(when, lastNotice_);
      lastNotice_ = when;
    }
    tasks_.emplace(when, Task{std::move(action), runner});
    wake_.Set();
  }
  void CatchUp() {
    if (runningDeadline != 0) return;  // an action's own calls into the bench
    lm::Lock run(runner_);
    for (;;) {
      Clock::time_point when;
      Task task;
      {
        lm::Lock g(mutex_);
        const auto now = Clock::now();
        auto due = tasks_.begin();
        while (due != tasks_.end() && due->first <= now && due->second.runner != Runner::AnyCaller)
          ++due;
        if (due == tasks_.end() || due->first > now) return;
        when = due->first;
        task = std::move(due->second);
        tasks_.erase(due);
      }
      Execute(when, task.action);
    }
  }

 private:
  struct Task {
    std::function<void()> action;
    Runner runner = Runner::AnyCaller;
  };

  static void Execute(Clock::time_point when, const std::function<void()>& action) {
    runningDeadline = when.time_since_epoch().count();
    if (runningDeadline == 0) runningDeadline = 1;
    action();
    runningDeadline = 0;
  }

  void Run() {
    for (;;) {
      DWORD wait = INFINITE;
      Clock::time_point when;
      Task task;
      {
        // Due state changes run under the runner lock, in deadline order with
        // any caller catching up; notices run outside it.
        lm::Lock run(runner_);
        {
          lm::Lock g(mutex_);
          if (!tasks_.empty()) {
            auto first = tasks_.begin();
            auto now = Clock::now();
            if (now < first->first) {
              auto left = std::chrono::ceil<std::chrono::milliseconds>(first->first - now);
              wait = static_cast<DWORD>(left.count());
            } else {
              when = first->first;
              task = std::move(first->second);
              tasks_.erase(first);
            }
          }
        }
        if (task.action && task.runner == Runner::AnyCaller) {
          Execute(when, task.action);
          continue;
        }
      }
      if (task.action) {
        Execute(when, task.action);
      } else {
        wake_.Wait(wait);
      }
    }
  }

  static thread_local Clock::rep runningDeadline;
  lm::CriticalSection runner_;
  lm::CriticalSection mutex_;
  lm::Event wake_{lm::Event::Reset::Auto};
  std::multimap<Clock::time_point, Task> tasks_;
  Clock::time_point lastNotice_{};
  bool started_ = false;
};

thread_local Scheduler::Clock::rep Scheduler::runningDeadline = 0;

void RunAll(std::vector<std::function<void()>>& done) {
  for (auto& f : done) f();
}

}  // namespace

double TimeScale();
void InitClock();

void CompleteOverlapped(OVERLAPPED* ov, uint32_t status, uint32_t bytes) {
  ov->InternalHigh = bytes;
  InterlockedExchangePointer(reinterpret_cast<PVOID*>(&ov->Internal),
                             reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(status)));
  if (ov->hEvent) SetEvent(ov->hEvent);
}

Bench& Bench::Instance() {
  static Bench* b = new Bench;  // never destroyed: threads may still use it at exit
  return *b;
}

Bench::Bench() = default;

void Bench::After(uint32_t benchMs, std::function<void()> action) {
  AfterOn(benchMs, std::move(action), true);
}

void Bench::AfterOn(uint32_t benchMs, std::function<void()> action, bool anyCaller) {
  double real = benchMs / TimeScale();
  // A notice is due from the moment it is queued, never earlier: it must not
  // overtake one queued before it by a caller that ran late.
  const auto base = anyCaller ? Scheduler::Now() : Scheduler::Clock::now();
  // A reply, a return or a completion the last file's devices still owed
  // must not reach the devices of the next file in the same slots.
  auto ofThisFile = [this, file = opened_.load(), action = std::move(action)] {
    if (opened_.load() == file) action();
  };
  Scheduler::Instance().At(
      base + std::chrono::microseconds(static_cast<int64_t>(real * 1000)), std::move(ofThisFile),
      anyCaller ? Scheduler::Runner::AnyCaller : Scheduler::Runner::BenchThread);
}

void Bench::CatchUp() { Scheduler::Instance().CatchUp(); }

void Bench::Reset() {
  // A new bench file: whatever the last one left open is gone.
  std::vector<std::function<void()>> done;
  FailPendingLocked([](const PendingIo&) { return true; }, ERROR_OPERATION_ABORTED, &done);
  RunAll(done);
  for (auto& h : handles_) CloseHandle(h.id);
  for (auto& l : lists_) CloseHandle(l.id);
  for (auto& n : notices_) CloseHandle(n.id);
  handles_.clear();
  lists_.clear();
  notices_.clear();
  devices_.clear();
  record_.clear();
  faults_.clear();
  nextHandleNumber_ = 1;
  // A power loss of the last file ends with it: its return is not scheduled
  // for this file.
  powerOff_ = false;
}

bool Bench::Open(const std::string& path) {
  lm::Lock g(lock_);
  ++opened_;
  Reset();
  refusal_.clear();
  if (!file_.Open(path)) {
    refusal_ = "cannot read " + path;
    return false;
  }
  // A rule the bench does not understand would never fire, and the test
  // that wrote it would pass without its fault: nothing of the file runs.
  if (!LoadFaultsLocked()) {
    faults_.clear();
    recordFile_.clear();
    Record("bench file refused: " + refusal_);
    return false;
  }
  for (int slot = 0; slot < kMaxSlots; ++slot) {
    std::string section = "Device" + std::to_string(slot);
    if (!file_.Has(section, "ProductId")) continue;
    auto d = std::make_unique<UsbDevice>(file_, section, slot);
    d->present = file_.GetInt(section, "Present", 1) != 0;
    devices_.push_back(std::move(d));
  }
  std::string record = file_.Get("Bench", "RecordFile");
  if (!record.empty() && record.find(':') == std::string::npos && record[0] != '\\') {
    size_t slash = path.find_last_of('\\');
    record = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + record;
  }
  recordFile_ = record;
  return true;
}

UsbDevice* Bench::DeviceLocked(int slot) {
  for (auto& d : devices_)
    if (d->Slot() == slot) return d.get();
  return nullptr;
}

std::vector<UsbDevice*> Bench::PresentLocked() {
  std::vector<UsbDevice*> out;
  for (auto& d : devices_)
    if (d->present) out.push_back(d.get());
  return out;
}

std::string Bench::InterfacePathLocked(UsbDevice& d) {
  char path[160];
  std::string serial = d.SerialText();
  if (serial.empty() || serial.find_first_of(" #\\") != std::string::npos)
    serial = "5&2a1b&0&" + std::to_string(d.Slot() + 1);
  std::snprintf(path, sizeof path,
                "\\\\?\\usb#vid_%04x&pid_%04x#%s#{7a3c51e2-4b90-4d1f-a6e8-2c5b9d04f713}",
                d.VendorId(), d.ProductId(), serial.c_str());
  return path;
}

// ---- the call record -------------------------------------------------------

void Bench::Record(const std::string& line) {
  lm::Lock g(lock_);
  record_.push_back(line);
  if (recordFile_.empty()) return;
  HANDLE f = CreateFileA(recordFile_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\r\n";
  DWORD n = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CloseHandle(f);
}

std::string Bench::RecordText() {
  lm::Lock g(lock_);
  std::string out;
  for (auto& l : record_) out += l + "\n";
  return out;
}

void Bench::ClearRecord() {
  lm::Lock g(lock_);
  record_.clear();
}

// ---- fault rules -----------------------------------------------------------

bool Bench::LoadFaultsLocked() {
  for (int i = 1; i < 100; ++i) {
    std::string s = "Fault" + std::to_string(i);
    if (!file_.Has(s, "Operation")) continue;
    FaultRule r;
    r.section = s;
    r.device = static_cast<int>(file_.GetInt(s, "Device", -1));
    r.operation = file_.Get(s, "Operation");
    r.facId = static_cast<int>(file_.GetInt(s, "FacId", -1));
    r.endpoint = static_cast<int>(file_.GetInt(s, "Endpoint", -1));
    r.command = static_cast<int>(file_.GetInt(s, "Command", -1));
    r.after = static_cast<int>(file_.GetInt(s, "After", 0));
    r.times = static_cast<int>(file_.GetInt(s, "Times", 1));
    r.action = file_.Get(s, "Action", "Status");
    r.status = static_cast<uint32_t>(file_.GetInt(s, "Status", kErrStall));
    r.delayMs = static_cast<uint32_t>(file_.GetInt(s, "DelayMs", 0));
    r.bytes = static_cast<uint32_t>(file_.GetInt(s, "Bytes", 0));
    r.offMs = static_cast<uint32_t>(file_.GetInt(s, "OffMs", 5000));
    r.data = ParseHex(file_.Get(s, "Data"));
    if (!IsFaultOperation(r.operation)) {
      refusal_ = "[" + s + "] Operation=" + r.operation + " is no fault operation";
      return false;
    }
    if (!Names(kFaultActions, r.action)) {
      refusal_ = "[" + s + "] Action=" + r.action + " is no fault action";
      return false;
    }
    faults_.push_back(r);
  }
  // A misspelt reboot fault would let the reboot happen as if none were set.
  for (int slot = 0; slot < kMaxSlots; ++slot) {
    std::string s = "Device" + std::to_string(slot);
    std::string fault = file_.Get(s, "RebootFault");
    if (!fault.empty() && !Names(kRebootFaults, fault)) {
      refusal_ = "[" + s + "] RebootFault=" + fault + " is no reboot fault";
      return false;
    }
  }
  return true;
}

// The rule that fires for this call, if any. Counts live in the bench file,
// so a rule asked to fire once fires once across every process.
std::optional<FaultRule> Bench::FaultLocked(int slot, const std::string& operation, int facId,
                                            int endpoint, int command) {
  for (const FaultRule& r : faults_) {
    if (r.operation != operation) continue;
    if (r.device >= 0 && r.device != slot) continue;
    if (r.facId >= 0 && r.facId != facId) continue;
    if (r.endpoint >= 0 && r.endpoint != endpoint) continue;
    if (r.command >= 0 && r.command != command) continue;
    int64_t seen = file_.GetInt(r.section, "Seen", 0);
    int64_t fired = file_.GetInt(r.section, "Fired", 0);
    // A spent rule is not counted any more (no write-back per call).
    if (r.times > 0 && fired >= r.times) continue;
    file_.Set(r.section, "Seen", std::to_string(seen + 1));
    if (seen < r.after) continue;
    file_.Set(r.section, "Fired", std::to_string(fired + 1));
    Record("fault " + r.section + " " + r.action);
    return r;
  }
  return std::nullopt;
}

// ---- arrival, removal and notices ------------------------------------------

void Bench::FailPendingLocked(const std::function<bool(const PendingIo&)>& which, uint32_t status,
                              std::vector<std::function<void()>>* done) {
  for (size_t i = 0; i < pending_.size();) {
    if (!which(pending_[i])) {
      ++i;
      continue;
    }
    OVERLAPPED* ov = pending_[i].overlapped;
    done->push_back([ov, status] { CompleteOverlapped(ov, status, 0); });
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void Bench::NoticeLocked(UsbDevice& d, bool arrival, std::vector<std::function<void()>>* done) {
  std::string driverPath = InterfacePathLocked(d);
  for (const NoticeWindow& n : notices_) {
    if (!IsEqualGUID(n.classGuid, kDriverGuid) && !IsEqualGUID(n.classGuid, kUsbDeviceGuid))
      continue;
    // The record names the device's interface of the class it was sent for.
    std::string name = driverPath;
    if (IsEqualGUID(n.classGuid, kUsbDeviceGuid))
      name = name.substr(0, name.rfind('{')) + "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    HWND window = n.window;
    GUID guid = n.classGuid;
    done->push_back([this, window, guid, name, arrival] {
      // Sent from the bench's thread, as the system does, so the caller of
      // the operation that moved the device never waits for a window.
      AfterOn(
          0,
          [window, guid, name, arrival] {
            std::vector<uint8_t> mem(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + name.size() + 1, 0);
            auto* b = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(mem.data());
            b->dbcc_size = static_cast<DWORD>(mem.size());
            b->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            b->dbcc_classguid = guid;
            std::memcpy(b->dbcc_name, name.c_str(), name.size() + 1);
            DWORD_PTR result = 0;
            SendMessageTimeoutA(window, WM_DEVICECHANGE,
                                arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                reinterpret_cast<LPARAM>(b), SMTO_NORMAL, 5000, &result);
          },
          false);
    });
  }
}

void Bench::RemoveLocked(int slot, std::vector<std::function<void()>>* done) {
  UsbDevice* d = DeviceLocked(slot);
  if (!d || !d->present) return;
  // A power supply takes the instruments it carries with it.
  for (auto& child : devices_)
    if (child->ParentSlot() == slot) RemoveLocked(child->Slot(), done);
  d->present = false;
  Record("device " + std::to_string(slot) + " removed");
  FailPendingLocked(
      [&](const PendingIo& p) {
        OpenHandle* h = HandleLocked(p.handle);
        return h && h->slot == slot;
      },
      kErrRemoved, done);
  d->ResetBusState();
  NoticeLocked(*d, false, done);
}

void Bench::ArriveLocked(int slot, std::vector<std::function<void()>>* done) {
  UsbDevice* d = DeviceLocked(slot);
  if (!d || d->present || powerOff_) return;
  d->present = true;
  ++d->generation;
  d->ResetBusState();
  Record("device " + std::to_string(slot) + " arrived");
  NoticeLocked(*d, true, done);
  for (auto& child : devices_)
    if (child->ParentSlot() == slot && !child->holdBack) ArriveLocked(child->Slot(), done);
}

bool Bench::Remove(int slot) {
  std::vector<std::function<void()>> done;
  {
    lm::Lock g(lock_);
    if (!DeviceLocked(slot)) return false;
    RemoveLocked(slot, &done);
  }
  RunAll(done);
  return true;
}

bool Bench::Arrive(int slot) {
  std::vector<std::function<void()>> done;
  {
    lm::Lock g(lock_);
    if (!DeviceLocked(slot)) return false;
    ArriveLocked(slot, &done);
  }
  RunAll(done);
  return true;
}

std::vector<std::vector<uint8_t>> Bench::PacketsTaken(int slot) {
  lm::Lock g(lock_);
  UsbDevice* d = DeviceLocked(slot);
  return d ? d->PacketsTaken() : std::vector<std::vector<uint8_t>>{};
}

// ---- interface lists (snapshots) -------------------------------------------

HANDLE Bench::MakeInterfaceList(const GUID* guid) {
  lm::Lock g(lock_);
  if (FaultLocked(-1, "InterfaceList", -1, -1)) {
    Record("InterfaceList -> failed");
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  InterfaceList l;
  l.id = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (guid && IsEqualGUID(*guid, kDriverGuid))
    for (UsbDevice* d : PresentLocked()) l.paths.push_back(InterfacePathLocked(*d));
  Record("InterfaceList -> " + std::to_string(l.paths.size()) + " members");
  lists_.push_back(l);
  return l.id;
}

BOOL Bench::EnumInterface(HANDLE set, const GUID* guid, DWORD index, void* data) {
  lm::Lock g(lock_);
  auto* d = static_cast<SP_DEVICE_INTERFACE_DATA*>(data);
  for (auto& l : lists_) {
    if (l.id != set) continue;
    if (!d || d->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || !guid) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!IsEqualGUID(*guid, kDriverGuid) || index >= l.paths.size()) {
      SetLastError(ERROR_NO_MORE_ITEMS);
      return FALSE;
    }
    d->InterfaceClassGuid = *guid;
    d->Flags = SPINT_ACTIVE;
    d->Reserved = index;
    return TRUE;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL Bench::InterfaceDetail(HANDLE set, const void* data, void* detail, DWORD size,
                            DWORD* required) {
  lm::Lock g(lock_);
  auto* d = static_cast<const SP_DEVICE_INTERFACE_DATA*>(data);
  for (auto& l : lists_) {
    if (l.id != set) continue;
    if (!d || d->Reserved >= l.paths.size()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const std::string& path = l.paths[d->Reserved];
    DWORD need = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                    path.size() + 1);
    if (required) *required = need;
    if (!detail || size < need) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    auto* out = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detail);
    if (out->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
      SetLastError(ERROR_INVALID_USER_BUFFER);
      return FALSE;
    }
    std::memcpy(out->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL Bench::DestroyInterfaceList(HANDLE set) {
  lm::Lock g(lock_);
  for (size_t i = 0; i < lists_.size(); ++i)
    if (lists_[i].id == set) {
      CloseHandle(set);
      lists_.erase(lists_.begin() + static_cast<std::ptrdiff_t>(i));
      return TRUE;
    }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

// ---- notice windows --------------------------------------------------------

HANDLE Bench::RegisterNotices(HWND window, const GUID* classGuid) {
  lm::Lock g(lock_);
  if (!window || !classGuid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  NoticeWindow n;
  n.id = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  n.window = window;
  n.classGuid = *classGuid;
  notices_.push_back(n);
  return n.id;
}

BOOL Bench::UnregisterNotices(HANDLE id) {
  lm::Lock g(lock_);
  for (size_t i = 0; i < notices_.size(); ++i)
    if (notices_[i].id == id) {
      CloseHandle(id);
      notices_.erase(notices_.begin() + static_cast<std::ptrdiff_t>(i));
      return TRUE;
    }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // namespace bench
