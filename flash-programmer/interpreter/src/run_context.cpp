#include "run_context.h"

#include "tessaro/command_names.h"
#include "tessaro/errors.h"

namespace tessaro {

const char kBoxHeadFor[] =
    "The version of binary file is determined for upgrade a firmware with old Baugr.Data\r\nto a "
    "firmware with new Baugr.Data.\r\n";
const char kBoxHeadTo[] =
    "The version of binary file is determined to upgrade firmware with old Baugr.Data\r\nby "
    "firmware with new Baugr.Data.\r\n";

RunContext::RunContext(TProgrammingJob& job, InterpreterLoad& load, uint16_t vid, uint16_t pid,
                       const std::string& serial)
    : job(job),
      load(load),
      view(job.View()),
      runLog(*view.Events()),
      events(runLog),
      header(job.Records().header),
      vid(vid),
      pid(pid),
      serial(serial) {
  control.lines = log();
  control.events = &events;
}

TDevice* RunContext::Device(int code) {
  if (!connection)
    throw TessaroError(FormatText(
        "Command \"%s\" needs an open device: no OpenDevice ran before it, or CloseDevice did",
        {ProgramCommandName(code)}));
  return connection.get();
}

FlashProgress RunContext::FlashBar() {
  return [this, line = job.FlashProgressSink()](FlashPhase phase, int done, int total) {
    if (phase == FlashPhase::kDone) {
      events.SetProgressPosition(0);
    } else {
      events.SetProgressMaximum(total);
      events.SetProgressPosition(done);
    }
    line(phase, done, total);
  };
}

}  // namespace tessaro
