#include "qlinkx/qlinkx_library.h"

#include "environment/log_writer.h"
#include "lumetra/module.h"

QlinkxLibrary::~QlinkxLibrary() {
  if (module_) FreeLibrary(module_);
}

bool QlinkxLibrary::Load() {
  if (module_) return true;
  module_ = lm::LoadBesideProgramOrSystem(library_);
  if (!module_) {
    LogStartup("qlinkx.dll could not be loaded (error " + std::to_string(GetLastError()) + ")\n");
    return false;
  }
  lm::BindFunctions(module_, Functions());
  return true;
}

void QlinkxLibrary::Free() {
  if (!module_) return;
  LogTrace("Freelibrary qlinkx.dll : ");
  FreeLibrary(module_);
  module_ = nullptr;
  ClearFunctions();
  LogTrace("Success!\n");
}

std::array<lm::DllFunction, 7> QlinkxLibrary::Functions() {
  return {{{"AssignDevice", &assignDevice_},
           {"UnAssignDevice", &unAssignDevice_},
           {"GetSerNrs", &getSerNrs_},
           {"GetRegister", &getRegister_},
           {"SetRegister", &setRegister_},
           {"ReadIrpt", &readIrpt_},
           {"GetStringDescriptor", &getStringDescriptor_}}};
}

void QlinkxLibrary::ClearFunctions() { lm::ClearFunctions(Functions()); }

bool QlinkxLibrary::Has(QlinkxFunction function) const {
  switch (function) {
    case QlinkxFunction::AssignDevice:
      return assignDevice_ != nullptr;
    case QlinkxFunction::UnAssignDevice:
      return unAssignDevice_ != nullptr;
    case QlinkxFunction::GetSerNrs:
      return getSerNrs_ != nullptr;
    case QlinkxFunction::GetRegister:
      return getRegister_ != nullptr;
    case QlinkxFunction::SetRegister:
      return setRegister_ != nullptr;
    case QlinkxFunction::ReadIrpt:
      return readIrpt_ != nullptr;
    case QlinkxFunction::GetStringDescriptor:
      return getStringDescriptor_ != nullptr;
  }
  return false;
}

int32_t QlinkxLibrary::CheckAssignDevice() {
  if (!module_) return QLINKX_NOT_LOADED;
  if (!assignDevice_) {
    LogTrace("\nAssignDevice not loaded\n");
    return QLINKX_ASSIGN_MISSING;
  }
  return 0;
}

int32_t QlinkxLibrary::AssignDevice(int32_t vendorId, int32_t productId, const char* serial,
                                    void* block) {
  if (int32_t missing = CheckAssignDevice(); missing < 0) return missing;
  return assignDevice_(vendorId, productId, serial ? serial : "", block);
}

int32_t QlinkxLibrary::UnAssignDevice(int32_t device) {
  if (!unAssignDevice_) {
    LogTrace("Function UnassignDevice not Loaded!\n");
    return 0;
  }
  return unAssignDevice_(device);
}

int32_t QlinkxLibrary::GetSerNrs(int32_t vendorId, int32_t productId, char* text) {
  if (!module_) return QLINKX_NOT_LOADED;
  if (!getSerNrs_) return QLINKX_FUNCTION_MISSING;
  return getSerNrs_(vendorId, productId, text);
}

int32_t QlinkxLibrary::GetRegister(int32_t device, int32_t registerId, int32_t channel,
                                   void* buffer, int32_t length) {
  if (!getRegister_) {
    LogTrace("Funktion GetRegister was not imported!\n\n\r");
    return QLINKX_FUNCTION_MISSING;
  }
  return getRegister_(device, registerId, channel, buffer, length);
}

int32_t QlinkxLibrary::SetRegister(int32_t device, int32_t registerId, int32_t channel,
                                   const void* data, int32_t length) {
  if (!setRegister_) {
    LogTrace("Function SetRegister could not be loaded from dll");
    return QLINKX_FUNCTION_MISSING;
  }
  return setRegister_(device, registerId, channel, data, length);
}

int32_t QlinkxLibrary::ReadIrpt(int32_t device, void* buffer, int32_t* length) {
  if (!module_) {
    LogTrace("Library not loaded, cant read irq!\n");
    return QLINKX_FUNCTION_MISSING;
  }
  if (!readIrpt_) return QLINKX_FUNCTION_MISSING;
  return readIrpt_(device, buffer, length);
}

int32_t QlinkxLibrary::GetStringDescriptor(int32_t device, int32_t index, void* buffer,
                                           int32_t* size) {
  if (!module_ || !getStringDescriptor_) {
    if (size) *size = 0;
    return module_ ? QLINKX_FUNCTION_MISSING : QLINKX_NOT_LOADED;
  }
  return getStringDescriptor_(device, index, buffer, size);
}
