#include "environment/corvel_binding.h"

#include "environment/log_writer.h"
#include "lumetra/dll_functions.h"

namespace {

const char* const kNames[] = {"LmFindHostUSB", "LmFindExtendedUSBHost", "LmIsUSBHostDisabled",
                              "LmDisableUSBHost", "LmEnableUSBHost"};

}  // namespace

CorvelBinding::CorvelBinding(std::string libraryPath) : libraryPath_(std::move(libraryPath)) {}

CorvelBinding::HostFunction CorvelBinding::Bind(Function f) {
  lm::Lock lock(mutex_);
  if (tried_[f]) return functions_[f];
  tried_[f] = true;
  if (!libraryTried_) {
    libraryTried_ = true;
    library_ = LoadLibraryA(libraryPath_.c_str());
    if (library_ == nullptr) {
      LogTrace("Corvel.dll could not be loaded (error " + std::to_string(GetLastError()) +
               "): no USB host\n");
    }
  }
  if (library_ == nullptr) return nullptr;
  if (!lm::DllFunction(kNames[f], &functions_[f]).Bind(library_)) {
    LogTrace(std::string("Corvel.dll has no ") + kNames[f] + ": no USB host\n");
  }
  return functions_[f];
}

int CorvelBinding::Call(Function f, int unbound) {
  HostFunction function = Bind(f);
  return function ? function() : unbound;
}
