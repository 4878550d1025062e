#include "library_context.h"

#include "loging.h"
#include "tessaro/command_interpreter.h"
#include "tessaro/device.h"
#include "tessaro/flash_operations.h"
#include "tessaro/main_thread.h"
#include "tessaro/plugins.h"
#include "tessaro/program_file.h"
#include "tessaro/supply_modules.h"
#include "tessaro/utilities.h"

namespace tessaro {

LibraryContext::LibraryContext() {
  CreateGlobalLogger();
  InstallLibraryWait();
  GlobalLogger()->BindHook(unitLog_);
  GlobalLogger()->BindHook(FlashLog());
  SetCommandRunner(&RunProgramCommands);
}

LibraryContext::~LibraryContext() {
  if (!processEnds) {
    delete ownedForm;
    MainThreadSync::Free();
  }
  ownedForm = nullptr;
  form = nullptr;
  // At process end the form is not freed: its hooks are emptied all the same.
  unitLog_.Clear();
  SetCommandRunner(nullptr);
  LogHooks().Clear();
  TDevice::DefaultLog().Clear();
  UninstallLibraryWait();
  FreeGlobalLogger();
}

void LibraryContext::Log(const std::string& format, std::initializer_list<FormatArg> args) {
  try {
    unitLog_(nullptr, format, args);
  } catch (...) {
    // A log line that cannot be written must not end the export.
  }
}

}  // namespace tessaro
