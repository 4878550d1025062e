#include "firmware/firmware_programmer.h"

#include <memory>

#include "environment/log_writer.h"
#include "firmware/status_text.h"
#include "hwport/clock.h"
#include "lumetra/module.h"
#include "lumetra/sync.h"

namespace {

// What the poller shares with the transfer. It is owned jointly: a poller
// that never comes back from GetStatus keeps it after the transfer gave up.
struct PollerData {
  std::function<void(uint32_t)> post;
  FlashLibrary::GetStatusFn getStatus = nullptr;
  std::atomic<bool> stop{false};        // the Programing call has returned
  std::atomic<bool> stopThread{false};  // the transfer asks the poller to end
  std::atomic<bool> finished{false};
  lm::Event wake;  // ends the poller's 100 ms pause at once
};

std::string Ms(DWORD since) { return std::to_string(hwport::TickCount() - since); }

void GetStatusThreadProc(PollerData& data) {
  const DWORD start = hwport::TickCount();
  int16_t lastStatus = 0;
  bool ended = data.stopThread.load();
  while (!ended) {
    if (data.stop.load()) {
      LogTrace(TRACE_LEVEL_1, "m_bStop... true\n");
      break;
    }
    if (!data.getStatus) break;
    const DWORD before = hwport::TickCount();
    const uint32_t v = static_cast<uint32_t>(data.getStatus());
    const DWORD took = hwport::TickCount() - before;
    const int16_t status = static_cast<int16_t>(v & 0xFFFF);
    if (data.post) data.post(v);
    if (took > 1000)
      LogTrace("GetStatus() took longer than 1 second (" + std::to_string(took) +
               "ms)to respond - Result:\n");
    if (status != lastStatus || took > 1000) {
      LogTrace("        (" + Ms(start) + ") Status : " + std::to_string(status) + " - " +
               StatusText(status) + "\n");
      lastStatus = status;
    }
    hwport::WaitForObject(data.wake.Handle(), 100);
    if (data.stopThread.load()) {
      LogTrace(TRACE_LEVEL_1, "data->stopthread true\n");
      ended = true;
    }
  }
  if (!ended && data.stopThread.load() && !data.stop.load())
    LogTrace(TRACE_LEVEL_1, "data->stopthread true\n");
  data.finished = true;
  LogTrace("thread finished\n\n");
}

// The guard on every GetStatus call: the thread that makes it gets 3 s, then
// 3 s more (`late` traced between); false, with `gone` traced, when it has
// still not ended. Such a thread is left to end by itself.
bool EndedWithinGuard(lm::Thread& thread, const char* late, const char* gone) {
  auto ended = [&](DWORD ms) {
    return hwport::WaitForObject(thread.Handle(), ms) == WAIT_OBJECT_0;
  };
  if (ended(3000)) return true;
  LogTrace(TRACE_LEVEL_1, late);
  if (ended(3000)) return true;
  LogTrace(gone);
  return false;
}

// What a guarded GetStatus call shares with its thread; the thread keeps it
// when the caller gave up waiting.
struct StatusCall {
  FlashLibrary::GetStatusFn getStatus = nullptr;
  std::atomic<uint32_t> value{0};
};

// A transfer's result as the firmware part's result.
int32_t PartResultOf(int32_t transfer) {
  if (transfer == TRANSFER_NO_SERIAL) return FIRMWARE_NO_DEVICE;
  if (transfer == FLASH_LIBRARY_MISSING) return FIRMWARE_NO_LIBRARY;
  return FIRMWARE_FILE_FAILED;
}

}  // namespace

FirmwareProgrammer::FirmwareProgrammer(FirmwareTarget& target, std::string libraryName)
    : target_(target), library_(std::move(libraryName)) {}

int32_t FirmwareProgrammer::TransferProgramFile(int32_t /*vendorId*/, int32_t productId,
                                                const std::string& path) {
  auto data = std::make_shared<PollerData>();
  data->post = target_.LibraryStatusPoster();
  data->getStatus = library_.GetStatusEntry();
  // The poller holds the library for as long as it runs, so that freeing it
  // never unmaps code the poller may still be in.
  HMODULE pin =
      data->getStatus ? lm::PinModuleOf(reinterpret_cast<const void*>(data->getStatus)) : nullptr;
  if (data->getStatus && !pin) data->getStatus = nullptr;
  lm::Thread poller;
  const bool polling = poller.Start([data, pin] {
    GetStatusThreadProc(*data);
    if (pin) FreeLibrary(pin);
  });
  if (!polling && pin) FreeLibrary(pin);

  LogTrace(TRACE_LEVEL_2, "        in update modul, sending packet\n");
  const std::string serial = target_.GetDeviceString(productId, 3);
  LogTrace(TRACE_LEVEL_1, "    Seriennummer aus Getstringdescriptor(" + std::to_string(productId) +
                              ",3): " + serial + "\n");
  int32_t result;
  if (serial.empty() || serial.compare(0, 5, "Error") == 0) {
    // An error text is no serial number: the library would look for a
    // device of that name and program whichever it found in its safe mode.
    LogTrace("    No serial number of the device, " + path + " not sent\n");
    result = TRANSFER_NO_SERIAL;
  } else {
    result = library_.Programing(static_cast<uint16_t>(target_.DeviceVendorId()),
                                 static_cast<uint16_t>(productId), serial, path);
  }
  LogTrace(TRACE_LEVEL_2, "        in update modul, packet sent\n\n");

  data->stop = true;
  data->stopThread = true;
  data->wake.Set();
  // Left to end by itself when it does not: it owns its data and its hold on the library.
  if (polling && !EndedWithinGuard(poller,
                                   "    GetStatus-Thread not responding, GetStatus() probably "
                                   "didnt return after 3s wait, waiting again!\n\n",
                                   "    GetStatus-Thread not responding after 6s wait, "
                                   "GetStatus() probably didnt return!\n\n"))
    poller.Detach();
  return result;
}

uint32_t FirmwareProgrammer::GuardedStatus() {
  auto call = std::make_shared<StatusCall>();
  call->getStatus = library_.GetStatusEntry();
  if (!call->getStatus) return 0;
  // The call holds the library as the poller does.
  HMODULE pin = lm::PinModuleOf(reinterpret_cast<const void*>(call->getStatus));
  if (!pin) return 0;
  lm::Thread thread;
  if (!thread.Start([call, pin] {
        call->value = static_cast<uint32_t>(call->getStatus());
        FreeLibrary(pin);
      })) {
    FreeLibrary(pin);
    return 0;
  }
  if (EndedWithinGuard(thread, "    GetStatus() didnt return after 3s wait, waiting again!\n\n",
                       "    GetStatus() didnt return after 6s wait, status taken as 0!\n\n"))
    return call->value;
  thread.Detach();
  return 0;
}

void FirmwareProgrammer::PostTotal(int value) const { target_.PostTotalProgress(value); }

void FirmwareProgrammer::TraceResult(TraceLevel level, const char* indent, int32_t result,
                                     uint32_t status) const {
  const uint32_t progress = status >> 16;
  const std::string in(indent);
  const std::string hundredths = std::to_string(progress % 100);
  LogTrace(level, in + "Result:\n" + in + "Retval : " + std::to_string(result) + "\n" + in +
                      "Status : " + std::to_string(status & 0xFFFF) + " - " +
                      StatusText(static_cast<int16_t>(status & 0xFFFF)) + "\n" + in +
                      "EndProz: " + std::to_string(progress / 100) + "." + hundredths + "%\n\n");
}

int32_t FirmwareProgrammer::ModeTest(int32_t productId, DWORD start) {
  const int32_t r = target_.CheckUpdateMode(productId);
  LogTrace(TRACE_LEVEL_1, "    " + Ms(start) + " Test ShortUSB : ");
  if (r == 1) LogTrace(TRACE_LEVEL_1, "im SUSB-mode\n");
  if (r == 0) LogTrace(TRACE_LEVEL_1, "nicht im SUSB-mode\n");
  if (r > 1) {
    LogTrace("Fehler - Mehr als ein Ger\xE4t gefunden!\n");
    return FIRMWARE_SEVERAL;
  }
  if (r < 0) {
    LogTrace("Fehler - kein Ger\xE4t gefunden!\n");
    return FIRMWARE_NO_DEVICE;
  }
  return target_.CancelRequested() ? FIRMWARE_CANCELLED : 0;
}

int32_t FirmwareProgrammer::Verify(FirmwareImage& image, int32_t productId, DWORD start,
                                   int32_t* verifyResult) {
  if (!(image.verifyMode & 1)) return 0;
  const bool susb = target_.InUpdateMode(productId);
  const std::string& file = susb ? image.verifySusbFile : image.verifyNormFile;
  LogTrace("    " + Ms(start) + (susb ? " Verify SUSB - File : " : " Verify NORM - File : ") +
           file + "\n");
  *verifyResult = TransferProgramFile(0, productId, file);
  image.results[4] = *verifyResult;
  if (target_.CancelRequested()) return FIRMWARE_CANCELLED;
  const uint32_t v = GuardedStatus();
  image.results[0] = static_cast<int>(v & 0xFFFF);
  image.results[1] = static_cast<int>(v >> 16);
  hwport::Sleep(200);
  TraceResult(TRACE_LEVEL_1, "        ", *verifyResult, v);
  // A verify that could not run says nothing about the flash.
  if (*verifyResult < 0) return PartResultOf(*verifyResult);
  return 0;
}

int32_t FirmwareProgrammer::Program(FirmwareImage& image, int32_t productId, DWORD start) {
  if (!image.prog) return 0;
  flashInProgress_ = true;
  const bool susb = target_.InUpdateMode(productId);
  const std::string& file = susb ? image.progSusbFile : image.progNormFile;
  LogTrace("    " + Ms(start) + (susb ? " Program SUSB - File: " : " Program NORM - File: ") +
           file + "\n");
  const int32_t programResult = TransferProgramFile(0, productId, file);
  flashInProgress_ = false;
  image.results[5] = programResult;
  const uint32_t v = GuardedStatus();
  image.results[2] = static_cast<int>(v & 0xFFFF);
  image.results[3] = static_cast<int>(v >> 16);
  if (programResult != 1) {
    LogTrace("    Error in transfering file!\n");
    TraceResult(TRACE_ALWAYS, "", programResult, v);
    return PartResultOf(programResult);
  }
  TraceResult(TRACE_LEVEL_1, "", programResult, v);
  return 0;
}

int32_t FirmwareProgrammer::RunImage(FirmwarePart& part, FirmwareImage& image, int32_t productId,
                                     int j, DWORD start) {
  const int w = target_.ProgressStepWidth();
  const int base = target_.StepCounter() * w + (j * w) / 2;
  if (image.goSusb && !target_.InUpdateMode(productId) && !part.goSusbFile.empty()) {
    const int32_t r = TransferProgramFile(0, productId, part.goSusbFile);
    GuardedStatus();
    if (r != 1) {
      LogTrace("    Error in GOSUSB file!\n");
      return PartResultOf(r);
    }
  }
  PostTotal(base + w / 6);
  if (int32_t r = ModeTest(productId, start)) return r;

  int32_t verifyResult = 0;
  if (int32_t r = Verify(image, productId, start, &verifyResult)) return r;
  if (target_.CancelRequested()) return FIRMWARE_CANCELLED;
  PostTotal(base + w / 3);
  if (verifyResult == 1) {
    LogTrace("\n\n    Verify OK, skipping Programming\n\n\n");
    PostTotal(base + w / 2);
    return 0;
  }

  if (target_.CancelRequested()) return FIRMWARE_CANCELLED;
  if (int32_t r = ModeTest(productId, start)) return r;
  if (int32_t r = Program(image, productId, start)) return r;
  if (target_.CancelRequested()) return FIRMWARE_CANCELLED;
  if (int32_t r = ModeTest(productId, start)) return r;
  PostTotal(base + w / 2);
  return 0;
}

int32_t FirmwareProgrammer::UpdateFirmwarePart(FirmwarePart& part, int32_t productId) {
  const DWORD start = hwport::TickCount();
  if (library_.IsLoaded()) library_.Free();
  const bool supply = productId != 0 && productId == target_.PowerSupplyPid();
  if (!supply && (productId == 0 || productId != target_.DevicePid())) return FIRMWARE_UNKNOWN_PID;
  if (!library_.Load()) {
    LogTrace("    Flash library missing: firmware part not programmed\n");
    library_.Free();
    return FIRMWARE_NO_LIBRARY;
  }
  LogTrace("Update Modul\n");
  LogTrace("    DevPID: " + std::to_string(productId) + "\n");
  FirmwareImage* order[2];
  if (part.blFirst) {
    LogTrace("    Bootloader first\n\n");
    order[0] = &part.bootloader;
    order[1] = &part.firmware;
  } else {
    LogTrace("    Firmware first\n\n");
    order[0] = &part.firmware;
    order[1] = &part.bootloader;
  }
  int32_t r = 0;
  for (int j = 0; j < 2 && r == 0; ++j) r = RunImage(part, *order[j], productId, j, start);
  if (r == 0 && target_.CancelRequested()) r = FIRMWARE_CANCELLED;
  if (r == 0 && !part.rebootFile.empty() &&
      (part.reboot ||
       (target_.StartedInUpdateMode() && supply && part.rebootAfterUpdateModeStart))) {
    LogTrace("    Rebooting with file " + part.rebootFile + "\n");
    const int32_t t = TransferProgramFile(0, productId, part.rebootFile);
    if (t != 1) {
      LogTrace("    Error in reboot file!\n");
      r = PartResultOf(t);
    }
  }
  // Nothing is left loaded between parts, whatever the result.
  library_.Free();
  return r;
}
