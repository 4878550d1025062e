#include "tessaro/gdi.h"

#include <cstring>

#include "hwport/clock.h"
#include "lumetra/wire.h"
#include "tessaro/device_error.h"
#include "tessaro/format_text.h"
#include "tessaro/main_thread.h"
#include "tessaro/run_events.h"

namespace tessaro {
namespace {

int PipeIndex(uint8_t endpoint) {
  switch (endpoint) {
    case EP_DATA_IN:
      return 0;
    case EP_DATA_IN_2:
      return 1;
    case EP_DATA_OUT:
      return 2;
    case EP_EVENT_IN:
      return 3;
    default:
      return 4;
  }
}

}  // namespace

// ---- TPipeThread -----------------------------------------------------------

TPipeThread::TPipeThread(TGDI* owner, TUsbDrvPipe* pipe, Handler handler, uint8_t* buffer,
                         uint16_t size)
    : owner_(owner), pipe_(pipe), handler_(handler), buffer_(buffer), size_(size) {
  stop_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, &TPipeThread::ThreadMain, this, CREATE_SUSPENDED, nullptr);
  if (thread_) SetThreadPriority(thread_, THREAD_PRIORITY_IDLE);
}

TPipeThread::~TPipeThread() {
  if (thread_) {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  CloseHandle(stop_);
}

void TPipeThread::Start() {
  if (thread_) ResumeThread(thread_);
}

DWORD WINAPI TPipeThread::ThreadMain(void* self) {
  static_cast<TPipeThread*>(self)->Loop();
  return 0;
}

void TPipeThread::Loop() {
  // The buffer's own event is the read event.
  usbdrv::TUsbDrvBuf read(buffer_, size_);
  bool reading = false;
  for (;;) {
    read.BytesToTransfer = size_;
    read.BytesDone = 0;
    // A read the driver refuses at once (device gone) ends the thread.
    if (!pipe_->StartRead(read)) break;
    reading = true;
    HANDLE waits[2] = {read.Overlapped.hEvent, stop_};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
    reading = false;
    if (pipe_->TransferResult(read, false) != 0) break;
    lastRead_ = read.BytesDone;
    if (lastRead_ > 0) {
      TGDI* owner = owner_;
      Handler handler = handler_;
      if (!MainThreadSync::Instance().Run([owner, handler, this] { (owner->*handler)(*this); },
                                          stop_))
        break;
    }
  }
  if (reading) {
    // The read must not complete into the buffer after the thread is gone.
    pipe_->CancelTransfers();
    pipe_->TransferResult(read, true);
  }
}

// ---- TGDI ------------------------------------------------------------------

TGDI::TGDI(const TDeviceInfo& info, uint8_t configKind, uint8_t openDataIn, uint8_t openDataOut,
           uint8_t openEventIn, uint8_t openDataIn2, uint8_t openEventIn2)
    : TDevice(info) {
  MainThreadSync::Instance().BindMainThread();
  UsbDrv = std::make_unique<TUsbDrv>();
  for (auto& p : Pipes) p = std::make_unique<TUsbDrvPipe>();
  try {
    InterfaceSet = TUsbDrv::OpenInterfaceList(&usbdrv::USBDRV_INTERFACE_GUID);
    usbdrv::Status status =
        UsbDrv->OpenInstance(DeviceNumber, InterfaceSet, &usbdrv::USBDRV_INTERFACE_GUID);
    DeviceHandle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(UsbDrv->Handle));
    CheckStatus(status);
    ReadConfigurationTable();
    uint8_t current = 0;
    CheckStatus(UsbDrv->GetConfiguration(&current));
    CurrentConfiguration = current;

    usbdrv::ConfigurationRequest request{};
    if (configKind == 1) {
      request.InterfaceCount = 1;
      request.Interfaces[0] = {.InterfaceIndex = 0, .AlternateSetting = 0, .MaxTransferSize = 4096};
    } else if (configKind == 2) {
      request.InterfaceCount = 4;
      for (uint16_t i = 0; i < 4; ++i)
        request.Interfaces[i] = {
            .InterfaceIndex = i, .AlternateSetting = 1, .MaxTransferSize = 4096};
    }
    // A device in its safe mode is left unconfigured and without pipes.
    if (configKind == 0 || std::strcmp(SerialNumber ? SerialNumber : "", "safety mode") == 0)
      return;
    if (current == 0) UsbDrv->ApplyConfiguration(request);

    uint8_t order[5] = {EP_DATA_IN, EP_DATA_IN_2, EP_DATA_OUT, EP_EVENT_IN, EP_EVENT_IN_2};
    uint8_t wanted[5] = {openDataIn, openDataIn2, openDataOut, openEventIn, openEventIn2};
    for (int i = 0; i < 5; ++i)
      if (wanted[i]) OpenEndpoint(order[i]);
  } catch (...) {
    Teardown();
    throw;
  }
}

void TGDI::OpenEndpoint(uint8_t endpoint) {
  try {
    TUsbDrvPipe* pipe = PipeFor(endpoint);
    CheckStatus(
        pipe->BindEndpoint(DeviceNumber, endpoint, InterfaceSet, &usbdrv::USBDRV_INTERFACE_GUID));
    CheckStatus(pipe->ResetEndpoint());
    if (endpoint & 0x80) {
      bool bulk = endpoint == EP_DATA_IN || endpoint == EP_DATA_IN_2;
      uint8_t* buffer = endpoint == EP_DATA_IN     ? BulkBuffers[0]
                        : endpoint == EP_DATA_IN_2 ? BulkBuffers[1]
                        : endpoint == EP_EVENT_IN  ? InterruptBuffers[0]
                                                   : InterruptBuffers[1];
      auto& thread = ThreadFor(endpoint);
      thread = std::make_unique<TPipeThread>(this, pipe,
                                             bulk ? &TGDI::HandleBulk : &TGDI::HandleInterrupt,
                                             buffer, static_cast<uint16_t>(kPipeBufferSize));
      thread->Start();
    }
  } catch (const EDeviceError& e) {
    std::string text = FormatText("Pipe 0x%2.2X is already open\r\n%s", {endpoint, e.Message()});
    for (TClient* c : std::vector<TClient*>(Clients())) c->OnTextLine(text.c_str());
    // No client is attached while the connection is made: the log keeps it.
    Log(nullptr, "%s", {text});
  }
}

void TGDI::ReadConfigurationTable() {
  Configurations.assign(1, GdiConfiguration{});  // position 0 holds no descriptor
  try {
    for (uint8_t position = 1; position <= 2; ++position) {
      uint8_t buffer[256] = {};
      uint32_t length = sizeof buffer;
      if (UsbDrv->GetConfigurationDescriptor(buffer, &length, position - 1) != 0) break;
      if (length < 2 || buffer[0] != 9 || buffer[1] != 2) break;
      GdiConfiguration config;
      std::memcpy(config.Head, buffer, 9 < length ? 9 : length);
      GdiAlternate* selected = nullptr;
      // The walk trusts no length byte beyond the bytes received.
      uint32_t pos = 0;
      while (pos < length) {
        uint8_t len = buffer[pos];
        if (len == 0) {
          ++pos;
          continue;
        }
        if (pos + len > length || len < 2) break;
        uint8_t type = buffer[pos + 1];
        if (type == 4 && len == 9) {
          uint8_t iface = buffer[pos + 2], alt = buffer[pos + 3];
          if (config.Interfaces.size() <= iface) config.Interfaces.resize(iface + 1u);
          auto& alts = config.Interfaces[iface];
          if (alts.size() <= alt) alts.resize(alt + 1u);
          selected = &alts[alt];
          std::memcpy(selected->InterfaceDescriptor, buffer + pos, 9);
        } else if (type == 5 && len == 7) {
          // An endpoint before any interface belongs nowhere.
          if (selected) selected->Endpoints.emplace_back(buffer + pos, buffer + pos + 7);
        } else if (pos > 0) {
          config.Others.emplace_back(buffer + pos, buffer + pos + len);
        }
        pos += len;
      }
      Configurations.push_back(std::move(config));
      ConfigurationCount = position;
      uint8_t current = 0;
      if (UsbDrv->GetConfiguration(&current) == 0 && current == position) {
        GdiConfiguration& c = Configurations.back();
        c.CurrentAlternate.assign(c.Interfaces.size(), 0);
        for (size_t i = 0; i < c.Interfaces.size(); ++i)
          UsbDrv->GetInterface(&c.CurrentAlternate[i], static_cast<uint16_t>(i));
      }
    }
  } catch (...) {
    // Only fills the table.
  }
}

TGDI::~TGDI() { Teardown(); }

void TGDI::Teardown() {
  // Readers first (0x81, 0x85, 0x83, 0x87): each is stopped and waited for.
  for (auto& t : Threads) t.reset();
  uint8_t unbind[5] = {EP_DATA_IN, EP_DATA_IN_2, EP_EVENT_IN, EP_EVENT_IN_2, EP_DATA_OUT};
  for (uint8_t ep : unbind) {
    TUsbDrvPipe* p = PipeFor(ep);
    if (p && p->Handle) p->UnbindEndpoint();
  }
  if (UsbDrv && UsbDrv->Handle) {
    UsbDrv->ClearConfiguration();
    UsbDrv->CloseInstance();
  }
  TUsbDrv::CloseInterfaceList(InterfaceSet);
  InterfaceSet = nullptr;
  UsbDrv.reset();
  for (auto& p : Pipes) p.reset();
}

bool TGDI::HasReader(uint8_t endpoint) const { return Threads[PipePosition(endpoint)] != nullptr; }

TUsbDrvPipe* TGDI::PipeFor(uint8_t endpoint) { return Pipes[PipeIndex(endpoint)].get(); }

std::unique_ptr<TPipeThread>& TGDI::ThreadFor(uint8_t endpoint) {
  return Threads[PipePosition(endpoint)];
}

void TGDI::HandleBulk(TPipeThread& thread) { Handle(thread, true); }
void TGDI::HandleInterrupt(TPipeThread& thread) { Handle(thread, false); }

void TGDI::Handle(TPipeThread& thread, bool bulk) {
  uint8_t endpoint = thread.Buffer() == BulkBuffers[0]        ? EP_DATA_IN
                     : thread.Buffer() == BulkBuffers[1]      ? EP_DATA_IN_2
                     : thread.Buffer() == InterruptBuffers[0] ? EP_EVENT_IN
                                                              : EP_EVENT_IN_2;
  try {
    // A client may detach itself while it is called: call a copy of the list.
    std::vector<TClient*> clients = Clients();
    if (bulk)
      ParseBulk(endpoint, thread.Buffer(), thread.LastRead(), clients);
    else
      ParseInterrupt(endpoint, thread.Buffer(), thread.LastRead(), clients);
  } catch (const std::exception& e) {
    ShowLibraryError(e.what());
  }
}

void TGDI::CheckStatus(usbdrv::Status status, const std::string& context) {
  LastStatus = status;
  if (status == 0) return;
  throw EDeviceError(FormatText("Device(Hnd:%8.8X): %s\r\n%s",
                                {DeviceHandle, usbdrv::DriverStatusText(status), context}));
}

uint16_t TGDI::RequestIn(uint16_t wValue, uint16_t wIndex, uint16_t length, void* buffer) {
  uint32_t n = length;
  CheckStatus(UsbDrv->VendorRequestIn(buffer, &n, usbdrv::RegisterRequest(wValue, wIndex)));
  return static_cast<uint16_t>(n);
}

uint16_t TGDI::RequestOut(uint16_t wValue, uint16_t wIndex, uint16_t length, const void* data) {
  uint32_t n = length;
  CheckStatus(UsbDrv->VendorRequestOut(const_cast<void*>(data), &n,
                                       usbdrv::RegisterRequest(wValue, wIndex)));
  return static_cast<uint16_t>(n);
}

uint16_t TGDI::GetVendorData(uint16_t wValue, uint16_t wIndex, uint16_t length, void* buffer) {
  return RequestIn(wValue, wIndex, length, buffer);
}

uint16_t TGDI::GetStatus(uint16_t wIndex) {
  uint8_t word[2] = {};
  if (RequestIn(lm::STATUS_REGISTER, wIndex, 2, word) < 2)
    throw EDeviceError("TGDI.GetStatus() failed");
  return le::U16(word);
}

void TGDI::SendCommand(uint16_t command, uint16_t argument) {
  uint8_t zeros[2] = {};
  if (RequestOut(command, argument, 2, zeros) < 2) throw EDeviceError("TGDI.SendCommand() failed");
}

void TGDI::SetRegister(uint16_t reg, uint16_t channel, uint16_t length, const void* data) {
  if (RequestOut(reg, channel, length, data) != length)
    throw EDeviceError("TGDI.SetRegister() failed");
}

uint16_t TGDI::GetRegister(uint16_t reg, uint16_t channel, uint16_t length, void* buffer) {
  return RequestIn(reg, channel, length, buffer);
}

void TGDI::SetFacilityData(uint16_t facId, uint16_t channel, uint16_t length, const void* data) {
  if (RequestOut(facId, channel, length, data) != length)
    throw EDeviceError("TGDI.SetFacilityData() failed");
}

uint16_t TGDI::GetFacilityData(uint16_t facId, uint16_t channel, uint16_t length, void* buffer) {
  return RequestIn(facId, channel, length, buffer);
}

void TGDI::SetFlashData(uint16_t wIndex, const void* data, uint16_t length) {
  if (RequestOut(lm::CMD_GET_FLASH_STATUS, wIndex, length, data) != length)
    throw EDeviceError("TGDI.SetFlashData() failed");
}

uint16_t TGDI::GetFlashData(uint16_t wIndex, void* buffer, uint16_t length) {
  return RequestIn(lm::CMD_GET_FLASH_STATUS, wIndex, length, buffer);
}

void TGDI::WriteData(uint16_t packetId, const void* data, uint16_t length) {
  if (length > kPipeBufferSize - 4) throw EDeviceError("TGDI.WriteData() failed");
  uint16_t size = static_cast<uint16_t>(length + 4);
  SendPacket[0] = static_cast<uint8_t>(size);
  SendPacket[1] = static_cast<uint8_t>(size >> 8);
  SendPacket[2] = static_cast<uint8_t>(packetId);
  SendPacket[3] = static_cast<uint8_t>(packetId >> 8);
  if (length) std::memcpy(SendPacket + 4, data, length);
  uint32_t n = size;
  // A write the device never takes is cancelled after the time-out instead
  // of holding the job forever.
  CheckStatus(PipeFor(EP_DATA_OUT)->TransferOut(SendPacket, &n, kWriteTimeoutMs));
  if (n != size) throw EDeviceError("TGDI.WriteData() failed");
}

bool TGDI::CyclePort() {
  try {
    if (!DriverApiState().DriverApi0141) {
      LibraryAsk(
          {"This Driver version not support function CyclePort.", "Error", MB_OK | MB_ICONERROR});
      return false;
    }
    usbdrv::Status status = UsbDrv->CyclePort();
    LastStatus = status;
    if (status != 0) {
      LibraryAsk({usbdrv::DriverStatusText(status), "Error", MB_OK | MB_ICONERROR});
      return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace tessaro
