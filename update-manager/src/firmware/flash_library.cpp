#include "firmware/flash_library.h"

#include "config/update_config.h"
#include "environment/log_writer.h"
#include "lumetra/module.h"

FlashLibrary::~FlashLibrary() {
  if (module_) FreeLibrary(module_);
}

bool FlashLibrary::Load() {
  if (module_) return true;
  module_ = lm::LoadBesideProgramOrSystem(name_);
  if (!module_) {
    LogTrace("    " + name_ + " could not be loaded (error " + std::to_string(GetLastError()) +
             ")\n");
    return false;
  }
  lm::BindFunctions(module_, {{"Programing", &programing_}, {"GetStatus", &getStatus_}});
  if (!getStatus_) LogTrace("    " + name_ + " has no GetStatus: no progress is shown\n");
  if (!programing_) {
    LogTrace("    " + name_ + " has no Programing\n");
    return false;
  }
  return true;
}

void FlashLibrary::Clear() {
  module_ = nullptr;
  programing_ = nullptr;
  getStatus_ = nullptr;
}

bool FlashLibrary::Free() {
  if (!module_) return false;
  LogTrace("Freelibrary tessaro.dll : ");
  if (FreeLibrary(module_))
    LogTrace(" Success!\n");
  else
    MessageBoxA(nullptr, "Error while unloading tessaro.dll", kMessageCaption, MB_OK);
  Clear();
  return true;
}

void FlashLibrary::FreeAtShutdown() {
  if (!module_) return;
  LogTrace("Freelibrary tessaro.dll : ");
  FreeLibrary(module_);
  Clear();
  LogTrace("Success!\n");
}

int32_t FlashLibrary::Programing(uint16_t vendorId, uint16_t productId, const std::string& serial,
                                 const std::string& path) {
  if (!programing_) {
    LogTrace("    " + name_ + " not loaded, " + path + " not sent\n");
    return FLASH_LIBRARY_MISSING;
  }
  return programing_(vendorId, productId, serial.c_str(), path.c_str());
}
