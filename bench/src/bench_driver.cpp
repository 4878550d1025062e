// The bench's USB driver: device objects, I/O control requests with their
// records, size checks and statuses, pipes and overlapped transfers.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_core.h"
#include "usb_protocol.h"

namespace bench {
namespace {

constexpr ULONG_PTR kPending = 0x103;  // what an OVERLAPPED holds while running

// A supply's packets for its front panel.
constexpr int kFacStringPacket = 0x2180;

double TimeScaleOf();

std::string Hex8(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08X", v);
  return b;
}

std::string DataText(const uint8_t* data, uint32_t n) {
  if (!data || n == 0) return {};
  return ": " + FormatHex(data, n > 64 ? 64 : n) + (n > 64 ? " ..." : "");
}

const char* IoName(DWORD code) {
  for (const IoControlName& io : kIoControlNames)
    if (io.code == code) return io.name;
  return "IoControl";
}

// The decoded request of an I/O control call for the call record; also for
// a call whose answer a fault rule replaces.
std::string DescribeRequest(DWORD code, const uint8_t* in, DWORD inSize, const uint8_t* out,
                            DWORD outSize) {
  char text[160];
  switch (code) {
    case kIoReadDescriptor:
      if (inSize < 8 || !in) return {};
      std::snprintf(text, sizeof text, " type=%u index=%u lang=%u len=%lu", in[4], in[5],
                    GetU16(in + 6), static_cast<unsigned long>(outSize));
      return text;
    case kIoGetInterface:
      if (inSize < 2 || !in) return {};
      return " interface=" + std::to_string(GetU16(in));
    case kIoApplyConfiguration: {
      if (inSize < 260 || !in) return {};
      uint16_t index = GetU16(in), count = GetU16(in + 2);
      std::string what = " index=" + std::to_string(index) + " interfaces=" + std::to_string(count);
      for (uint16_t i = 0; i < count && i < 32; ++i)
        what += " {" + std::to_string(GetU16(in + 4 + 8 * i)) + "," +
                std::to_string(GetU16(in + 6 + 8 * i)) + "," +
                std::to_string(GetU32(in + 8 + 8 * i)) + "}";
      return what;
    }
    case kIoVendorRequestIn:
    case kIoVendorRequestOut: {
      if (inSize < 18 || !in) return {};
      std::snprintf(text, sizeof text, " FacId=0x%04X wIndex=%u len=%lu", GetU16(in + 14),
                    GetU16(in + 16), static_cast<unsigned long>(outSize));
      std::string what = text;
      if (code == kIoVendorRequestOut) what += DataText(out, outSize);
      return what;
    }
    case kIoBindEndpoint:
      if (inSize < 1 || !in) return {};
      std::snprintf(text, sizeof text, " 0x%02X", in[0]);
      return text;
    default:
      return {};
  }
}

void StartOverlapped(OVERLAPPED* ov) {
  if (!ov) return;
  // The record says "pending" until the request completes; the event is
  // reset only for a request that really waits (ArmOverlapped), which
  // spares a request that completes at once a round trip.
  ov->InternalHigh = 0;
  InterlockedExchangePointer(reinterpret_cast<PVOID*>(&ov->Internal),
                             reinterpret_cast<PVOID>(kPending));
}

void ArmOverlapped(OVERLAPPED* ov) {
  if (ov && ov->hEvent) ResetEvent(ov->hEvent);
}

BOOL Finish(OVERLAPPED* ov, uint32_t status, uint32_t n, DWORD* bytes) {
  if (bytes) *bytes = n;
  if (ov) CompleteOverlapped(ov, status, n);
  if (status == 0) return TRUE;
  SetLastError(status);
  return FALSE;
}

// Waits until a moment of the wall clock: sleeps for the most of it and
// spins the last stretch, since sleeps are coarse.
void WaitUntil(std::chrono::steady_clock::time_point until) {
  for (;;) {
    auto left = until - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return;
    if (left > std::chrono::milliseconds(3))
      Sleep(static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count() -
                               2));
    else if (left > std::chrono::microseconds(300))
      SwitchToThread();
    else
      YieldProcessor();
  }
}

BOOL Pending(DWORD* bytes) {
  if (bytes) *bytes = 0;
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}

}  // namespace

double TimeScale();
namespace {
double TimeScaleOf() { return TimeScale(); }
}  // namespace

OpenHandle* Bench::HandleLocked(HANDLE h) {
  for (auto& o : handles_)
    if (o.id == h) return &o;
  return nullptr;
}

bool Bench::AliveLocked(const OpenHandle& h) {
  UsbDevice* d = DeviceLocked(h.slot);
  return d && d->present && d->generation == h.generation;
}

bool Bench::TakePendingLocked(uint64_t id, PendingIo* out) {
  for (size_t i = 0; i < pending_.size(); ++i)
    if (pending_[i].id == id) {
      *out = pending_[i];
      pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  return false;
}

void Bench::CompleteLaterLocked(PendingIo p, uint32_t status, std::vector<uint8_t> data,
                                uint32_t benchMs) {
  p.claimed = true;
  p.held = true;
  p.heldStatus = status;
  p.heldData = std::move(data);
  ArmOverlapped(p.overlapped);
  pending_.push_back(p);
  uint64_t id = p.id;
  After(benchMs, [this, id] { AnswerHeld(id); });
}

void Bench::AnswerHeld(uint64_t id) {
  PendingIo q;
  {
    lm::Lock g(lock_);
    // A cancel or removal may have completed it meanwhile, or a test that
    // did not wait for its time.
    if (!TakePendingLocked(id, &q)) return;
    if (q.read && !q.heldData.empty()) std::memcpy(q.buffer, q.heldData.data(), q.heldData.size());
  }
  CompleteOverlapped(q.overlapped, q.heldStatus,
                     q.read ? static_cast<uint32_t>(q.heldData.size()) : q.length);
}

size_t Bench::AnswerHeld() {
  std::vector<uint64_t> held;
  {
    lm::Lock g(lock_);
    for (const PendingIo& p : pending_)
      if (p.held) held.push_back(p.id);
  }
  for (uint64_t id : held) AnswerHeld(id);
  return held.size();
}

HANDLE Bench::CreateDriverFile(const char* path) {
  lm::Lock g(lock_);
  std::string p = path ? path : "";
  UsbDevice* found = nullptr;
  static const char kPrefix[] = "\\\\.\\USBDRV_Device";
  if (_strnicmp(p.c_str(), kPrefix, sizeof kPrefix - 1) == 0) {
    const char* num = p.c_str() + sizeof kPrefix - 1;
    char* end = nullptr;
    unsigned long n = std::strtoul(num, &end, 10);
    auto present = PresentLocked();
    if (end != num && *end == '\0' && n < present.size()) found = present[n];
  } else {
    for (UsbDevice* d : PresentLocked())
      if (_stricmp(InterfacePathLocked(*d).c_str(), p.c_str()) == 0) found = d;
  }
  std::optional<FaultRule> fault = FaultLocked(found ? found->Slot() : -1, "CreateFile", -1, -1);
  if (!found || fault) {
    Record("CreateFile " + p + " -> failed");
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  OpenHandle h;
  h.id = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  h.number = nextHandleNumber_++;
  h.slot = found->Slot();
  h.generation = found->generation;
  handles_.push_back(h);
  Record("CreateFile " + p + " -> h" + std::to_string(h.number) + " device " +
         std::to_string(h.slot));
  return h.id;
}

uint32_t Bench::ControlLocked(OpenHandle& h, DWORD code, const uint8_t* in, DWORD inSize,
                              uint8_t* out, DWORD outSize, DWORD* bytes, bool* cycle) {
  UsbDevice& d = *DeviceLocked(h.slot);
  *bytes = 0;
  switch (code) {
    case kIoReadDescriptor: {
      if (inSize < 8 || !in) return kErrInputTooSmall;
      if (GetU32(in) != 0) return kErrBadRecipient;
      std::vector<uint8_t> desc;
      bool ok = in[4] == 1   ? (desc = d.DeviceDescriptor(), true)
                : in[4] == 2 ? d.ConfigDescriptor(in[5], &desc)
                : in[4] == 3 ? d.StringDescriptor(in[5], &desc)
                             : false;
      if (!ok) return kErrStall;
      if (outSize && !out) return kErrBadParameter;
      *bytes = static_cast<DWORD>(desc.size() < outSize ? desc.size() : outSize);
      if (*bytes) std::memcpy(out, desc.data(), *bytes);
      return kStatusOk;
    }
    case kIoGetConfiguration:
      if (outSize < 1 || !out) return kErrOutputTooSmall;
      out[0] = d.configuration;
      *bytes = 1;
      return kStatusOk;
    case kIoGetInterface: {
      if (inSize < 2 || !in) return kErrInputTooSmall;
      if (outSize < 1 || !out) return kErrOutputTooSmall;
      if (d.configuration == 0) return kErrNotConfigured;
      if (!d.Layout().HasInterface(GetU16(in))) return kErrInterfaceNotFound;
      out[0] = static_cast<uint8_t>(d.alternates[GetU16(in)]);
      *bytes = 1;
      return kStatusOk;
    }
    case kIoApplyConfiguration: {
      if (inSize < 260 || !in) return kErrInputTooSmall;
      uint16_t index = GetU16(in), count = GetU16(in + 2);
      if (d.configuration != 0) return kErrAlreadyConfigured;
      if (index != 0 || count == 0 || count > 32) return kErrBadParameter;
      ConfigLayout layout = d.Layout();
      for (uint16_t i = 0; i < count; ++i)
        if (!layout.HasAlternate(GetU16(in + 4 + 8 * i), GetU16(in + 6 + 8 * i)))
          return kErrInterfaceNotFound;
      d.configuration = 1;
      for (uint16_t i = 0; i < count; ++i)
        d.alternates[GetU16(in + 4 + 8 * i)] = GetU16(in + 6 + 8 * i);
      return kStatusOk;
    }
    case kIoClearConfiguration:
      for (auto& o : handles_)
        if (o.slot == h.slot && o.generation == h.generation && o.endpoint) return kErrOpenPipes;
      d.configuration = 0;
      d.alternates.clear();
      return kStatusOk;
    case kIoVendorRequestIn:
    case kIoVendorRequestOut: {
      if (inSize < 18 || !in) return kErrInputTooSmall;
      uint16_t facId = GetU16(in + 14), wIndex = GetU16(in + 16);
      bool isIn = code == kIoVendorRequestIn;
      if (GetU32(in + 8) != 0) return kErrBadRecipient;
      if (GetU32(in + 4) != 2 || in[13] != kVendorRequest) return kErrStall;
      if (outSize && !out) return kErrBadParameter;
      uint32_t status;
      if (isIn) {
        std::vector<uint8_t> answer;
        status = d.ControlIn(facId, wIndex, outSize, &answer);
        if (status == 0) {
          std::memcpy(out, answer.data(), answer.size());
          *bytes = static_cast<DWORD>(answer.size());
        }
      } else {
        status = d.ControlOut(facId, wIndex, out, outSize);
        if (status == 0) *bytes = outSize;
      }
      return status;
    }
    case kIoQueryDriverInfo: {
      if (outSize < 12 || !out) return kErrOutputTooSmall;
      PutU16(out, static_cast<uint16_t>(file_.GetInt("Driver", "APIVersion", 0x0141)));
      PutU16(out + 2, static_cast<uint16_t>(file_.GetInt("Driver", "DriverVersion", 0x0200)));
      PutU32(out + 4, static_cast<uint32_t>(file_.GetInt("Driver", "BuildNumber", 100)));
      PutU32(out + 8, static_cast<uint32_t>(file_.GetInt("Driver", "Flags", 0)));
      *bytes = 12;
      return kStatusOk;
    }
    case kIoCyclePort:
      *cycle = true;
      return kStatusOk;
    case kIoBindEndpoint: {
      if (inSize < 1 || !in) return kErrInputTooSmall;
      if (h.endpoint) return kErrPipeBound;
      if (d.configuration == 0) return kErrNotConfigured;
      if (!d.Layout().HasEndpoint(in[0])) return kErrPipeNotFound;
      h.endpoint = in[0];
      return kStatusOk;
    }
    case kIoUnbindEndpoint:
      if (!h.endpoint) return kErrNotBound;
      for (auto& p : pending_)
        if (p.handle == h.id) return 0xE0001004;  // pending requests: abort first
      h.endpoint = 0;
      return kStatusOk;
    case kIoResetEndpoint:
      return h.endpoint ? kStatusOk : kErrNotBound;
    default:
      return kErrBadIoCode;
  }
}

BOOL Bench::IoControl(HANDLE hid, DWORD code, const void* inV, DWORD inSize, void* outV,
                      DWORD outSize, DWORD* bytes, OVERLAPPED* ov) {
  std::vector<std::function<void()>> done;
  BOOL result;
  {
    lm::Lock g(lock_);
    BenchFile::Steady steady(file_);
    OpenHandle* h = HandleLocked(hid);
    if (!h) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    StartOverlapped(ov);
    const auto* in = static_cast<const uint8_t*>(inV);
    auto* out = static_cast<uint8_t*>(outV);
    std::string head = "h" + std::to_string(h->number) + " " + IoName(code);
    std::string what = DescribeRequest(code, in, inSize, out, outSize);
    if (!AliveLocked(*h)) {
      Record(head + what + " -> " + Hex8(kErrRemoved));
      return Finish(ov, kErrRemoved, 0, bytes);
    }
    int facId = (code == kIoVendorRequestIn || code == kIoVendorRequestOut) && in && inSize >= 18
                    ? GetU16(in + 14)
                    : -1;
    int endpoint = code == kIoBindEndpoint && in && inSize >= 1 ? in[0] : -1;
    // A string packet's panel command narrows a rule to one kind of packet.
    int command = code == kIoVendorRequestOut && facId == kFacStringPacket && out && outSize >= 8
                      ? GetU16(out + 6)
                      : -1;
    std::optional<FaultRule> fault = FaultLocked(h->slot, IoName(code), facId, endpoint, command);
    DWORD n = 0;
    bool cycle = false;
    uint32_t status;
    // A short write: the device takes only the first bytes of the data stage,
    // and the driver reports that many.
    const DWORD taken =
        fault && fault->action == "Short" && code == kIoVendorRequestOut && fault->bytes < outSize
            ? fault->bytes
            : outSize;
    if (fault && fault->action == "Status") {
      status = fault->status;
    } else if (fault && fault->action == "Remove") {
      int slot = h->slot;
      RemoveLocked(slot, &done);
      status = kErrRemoved;
    } else if (fault && CarrierFaultLocked(*fault, h->slot, &done) && !AliveLocked(*h)) {
      status = kErrRemoved;
    } else if (fault && (fault->action == "Short" || fault->action == "Malformed") &&
               code != kIoVendorRequestOut && out) {
      // The device answers into a buffer of the bench's own; only the bytes
      // of the short or malformed data stage reach the caller's.
      std::vector<uint8_t> reply(outSize + 1);
      status = ControlLocked(*h, code, in, inSize, reply.data(), outSize, &n, &cycle);
      if (status == 0) {
        if (fault->action == "Short") {
          if (n > fault->bytes) n = fault->bytes;
          std::memcpy(out, reply.data(), n);
        } else {
          n = static_cast<DWORD>(fault->data.size() < outSize ? fault->data.size() : outSize);
          std::memcpy(out, fault->data.data(), n);
        }
      }
    } else {
      status = ControlLocked(*h, code, in, inSize, out, taken, &n, &cycle);
    }
    Record(head + what + " -> " + Hex8(status) + (n ? " " + std::to_string(n) : std::string()) +
           (code != kIoVendorRequestOut ? DataText(out, n) : std::string()));
    UsbDevice* d = DeviceLocked(h->slot);
    // The device took the request, and the power goes before it answers.
    const bool powerLoss = status == 0 && fault && fault->action == "PowerLoss";
    if (status == 0 && facId >= 0) {
      // The device reports each finished control request on its event pipe.
      if (!powerLoss) {
        d->Acknowledge(static_cast<uint16_t>(facId));
        DeliverLocked(*d, 0x83, &done);
      }
      if (code == kIoVendorRequestOut)
        DeviceCommandLocked(*d, static_cast<uint16_t>(facId), out, taken, &done);
    }
    if (status == 0 && code == kIoBindEndpoint && endpoint >= 0)
      BoundLocked(*d, static_cast<uint8_t>(endpoint));
    if (powerLoss) PowerLossLocked(fault->offMs, &done);
    if (cycle) {
      int slot = h->slot;
      RemoveLocked(slot, &done);
      // Queued after the removal's notices, so the arrival's cannot overtake them.
      const auto cycleMs = static_cast<uint32_t>(file_.GetInt("Bench", "CycleMs", 500));
      done.push_back([this, slot, cycleMs] { After(cycleMs, [this, slot] { Arrive(slot); }); });
    }
    bool delayed = fault && (fault->action == "Late" || fault->action == "NoAnswer");
    if (delayed && ov) {
      PendingIo p;
      p.id = nextPendingId_++;
      p.handle = hid;
      p.overlapped = ov;
      p.read = false;
      p.length = n;
      // A late answer is queued by CompleteLaterLocked itself; queueing it
      // twice would leave a stale entry that a later cancel, close or
      // removal completes into an OVERLAPPED long gone.
      if (fault->action == "Late") {
        CompleteLaterLocked(p, status, {}, fault->delayMs);
      } else {
        // The device keeps silent; the driver gives the request up after its
        // time-out, as it does for every control request.
        p.length = 0;
        CompleteLaterLocked(
            p, kErrRequestTimeout, {},
            static_cast<uint32_t>(file_.GetInt("Driver", "RequestTimeoutMs", 5000)));
      }
      result = Pending(bytes);
    } else {
      // Without OVERLAPPED a late answer makes the caller wait; a missing
      // answer there ends as a time-out.
      if (delayed && fault->action == "Late") {
        uint32_t delay = fault->delayMs;
        done.push_back([this, delay] {
          HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
          WaitForSingleObject(never, static_cast<DWORD>(delay / TimeScaleOf()));
          CloseHandle(never);
        });
      }
      if (delayed && fault->action == "NoAnswer") status = ERROR_SEM_TIMEOUT;
      result = Finish(ov, status, n, bytes);
    }
  }
  DWORD error = GetLastError();
  for (auto& f : done) f();
  SetLastError(error);
  return result;
}

void Bench::DeliverLocked(UsbDevice& d, uint8_t endpoint,
                          std::vector<std::function<void()>>* done) {
  for (;;) {
    PendingIo* reader = nullptr;
    for (auto& p : pending_) {
      if (!p.read || p.claimed || p.endpoint != endpoint) continue;
      if (p.fault && p.fault->action == "NoAnswer") continue;
      OpenHandle* h = HandleLocked(p.handle);
      if (h && h->slot == d.Slot() && AliveLocked(*h)) {
        reader = &p;
        break;
      }
    }
    if (!reader) return;
    std::vector<uint8_t> data;
    if (!d.TakeQueued(endpoint, &data)) return;
    // A copy: the reader leaves pending_ below, its rule with it.
    const std::optional<FaultRule> f = reader->fault;
    if (f && f->action == "Short" && data.size() > f->bytes) data.resize(f->bytes);
    if (f && f->action == "Malformed") data = f->data;
    uint32_t status = 0;
    if (data.size() > reader->length) {
      data.resize(reader->length);
      status = kErrOverrun;
    }
    OpenHandle* h = HandleLocked(reader->handle);
    char head[64];
    std::snprintf(head, sizeof head, "h%d Read 0x%02X done -> ", h->number, endpoint);
    Record(head + Hex8(status) + " " + std::to_string(data.size()) +
           DataText(data.data(), static_cast<uint32_t>(data.size())));
    PendingIo p = *reader;
    pending_.erase(pending_.begin() + (reader - pending_.data()));
    if (f && f->action == "Late") {
      CompleteLaterLocked(p, status, data, f->delayMs);
      continue;
    }
    if (!data.empty()) std::memcpy(p.buffer, data.data(), data.size());
    uint32_t n = static_cast<uint32_t>(data.size());
    OVERLAPPED* ov = p.overlapped;
    done->push_back([ov, status, n] { CompleteOverlapped(ov, status, n); });
  }
}

BOOL Bench::Transfer(HANDLE hid, bool read, void* buffer, DWORD length, DWORD* bytes,
                     OVERLAPPED* ov) {
  // A transfer without OVERLAPPED waits for itself.
  if (!ov) {
    OVERLAPPED own{};
    own.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    BOOL ok = Transfer(hid, read, buffer, length, bytes, &own);
    if (!ok && GetLastError() == ERROR_IO_PENDING) ok = OverlappedResult(hid, &own, bytes, TRUE);
    DWORD error = GetLastError();
    CloseHandle(own.hEvent);
    SetLastError(error);
    return ok;
  }
  // The moment the caller handed the transfer over, before the bench's own work.
  const auto handedOver = std::chrono::steady_clock::now();
  std::vector<std::function<void()>> done;
  BOOL result;
  {
    lm::Lock g(lock_);
    OpenHandle* h = HandleLocked(hid);
    if (!h) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    StartOverlapped(ov);
    char head[64];
    std::snprintf(head, sizeof head, "h%d %s 0x%02X len=%lu", h->number, read ? "Read" : "Write",
                  h->endpoint, static_cast<unsigned long>(length));
    std::string line = head;
    if (!read) line += DataText(static_cast<const uint8_t*>(buffer), length);
    uint32_t status = 0;
    if (!AliveLocked(*h))
      status = kErrRemoved;
    else if (!h->endpoint)
      status = kErrNotBound;
    else if (((h->endpoint & 0x80) != 0) != read)
      status = kErrBadDirection;
    std::optional<FaultRule> fault;
    if (status == 0) fault = FaultLocked(h->slot, read ? "Read" : "Write", -1, h->endpoint);
    if (fault && fault->action == "Status") status = fault->status;
    if (fault && fault->action == "Remove") {
      int slot = h->slot;
      RemoveLocked(slot, &done);
      status = kErrRemoved;
    }
    if (status != 0) {
      Record(line + " -> " + Hex8(status));
      result = Finish(ov, status, 0, bytes);
    } else {
      PendingIo p;
      p.id = nextPendingId_++;
      p.handle = hid;
      p.overlapped = ov;
      p.buffer = static_cast<uint8_t*>(buffer);
      p.length = length;
      p.read = read;
      p.endpoint = h->endpoint;
      p.fault = fault;
      UsbDevice* d = DeviceLocked(h->slot);
      if (read) {
        Record(line + " -> pending");
        ArmOverlapped(p.overlapped);
        pending_.push_back(p);
        DeliverLocked(*d, h->endpoint, &done);
        result = Pending(bytes);
      } else if (fault && fault->action == "NoAnswer") {
        Record(line + " -> pending");
        ArmOverlapped(p.overlapped);
        pending_.push_back(p);
        result = Pending(bytes);
      } else {
        uint32_t n =
            fault && fault->action == "Short" && fault->bytes < length ? fault->bytes : length;
        d->TakePacket(static_cast<const uint8_t*>(buffer), n);
        Record(line + " -> " + Hex8(0) + " " + std::to_string(n));
        // A modelled link is busy for the packet's time; the write ends then.
        if (double rate = d->LinkRate(); rate > 0) {
          auto until = d->link->Carry(handedOver, n, rate, TimeScale());
          done.push_back([link = d->link, until] {
            WaitUntil(until);
            link->Returned(until, std::chrono::steady_clock::now());
          });
        }
        if (fault && fault->action == "Late") {
          p.length = n;
          CompleteLaterLocked(p, 0, {}, fault->delayMs);
          result = Pending(bytes);
        } else {
          result = Finish(ov, 0, n, bytes);
        }
      }
    }
  }
  for (auto& f : done) f();
  // A read that the device answered at once reports success at once.
  if (!result && GetLastError() == ERROR_IO_PENDING &&
      reinterpret_cast<ULONG_PTR>(InterlockedCompareExchangePointer(
          reinterpret_cast<PVOID*>(&ov->Internal), nullptr, nullptr)) != kPending) {
    DWORD n = static_cast<DWORD>(ov->InternalHigh);
    uint32_t status = static_cast<uint32_t>(ov->Internal);
    if (bytes) *bytes = n;
    if (status == 0) return TRUE;
    SetLastError(status);
    return FALSE;
  }
  return result;
}

BOOL Bench::OverlappedResult(HANDLE hid, OVERLAPPED* ov, DWORD* bytes, BOOL wait) {
  if (!ov) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto state = [ov] {
    return reinterpret_cast<ULONG_PTR>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID*>(&ov->Internal), nullptr, nullptr));
  };
  while (state() == kPending) {
    if (!wait) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    WaitForSingleObject(ov->hEvent, ov->hEvent ? INFINITE : 10);
  }
  if (bytes) *bytes = static_cast<DWORD>(ov->InternalHigh);
  uint32_t status = static_cast<uint32_t>(state());
  if (status == 0) return TRUE;
  SetLastError(status);
  return FALSE;
}

// Cancel and close both end the handle's pending transfers with "aborted";
// close then lets the handle go.
BOOL Bench::EndHandleTransfers(HANDLE hid, const char* call, bool close) {
  std::vector<std::function<void()>> done;
  {
    lm::Lock g(lock_);
    OpenHandle* h = HandleLocked(hid);
    if (!h) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    Record("h" + std::to_string(h->number) + " " + call);
    FailPendingLocked([hid](const PendingIo& p) { return p.handle == hid; },
                      ERROR_OPERATION_ABORTED, &done);
    if (close) {
      CloseHandle(hid);
      handles_.erase(handles_.begin() + (h - handles_.data()));
    }
  }
  for (auto& f : done) f();
  return TRUE;
}

BOOL Bench::CancelIo(HANDLE hid) { return EndHandleTransfers(hid, "CancelIo", false); }

BOOL Bench::CloseDriverHandle(HANDLE hid) { return EndHandleTransfers(hid, "CloseHandle", true); }

bool Bench::QueueTransfer(int slot, uint8_t endpoint, const uint8_t* data, uint32_t length) {
  std::vector<std::function<void()>> done;
  {
    lm::Lock g(lock_);
    UsbDevice* d = DeviceLocked(slot);
    if (!d || !d->present) return false;
    d->Queue(endpoint, std::vector<uint8_t>(data, data + length));
    DeliverLocked(*d, endpoint, &done);
  }
  for (auto& f : done) f();
  return true;
}

}  // namespace bench
