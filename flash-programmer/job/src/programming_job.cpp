#include "programming_job.h"

#include "tessaro/flash_settings.h"
#include "tessaro/program_status.h"
#include "tessaro/utilities.h"

namespace tessaro {

namespace {

void JobLog(TStrings* list, const std::string& format, std::initializer_list<FormatArg> args) {
  if (LogHooks().job.Bound())
    LogHooks().job(list, format, args);
  else if (list)
    list->Add(FormatText(format, args));
}

}  // namespace

void SetCommandRunner(CommandRunner runner) { LibraryJob().SetRunner(runner); }

int JobView::Ask(const Question& question) {
  BoxEvents boxes;
  return boxes.Ask(question);
}

void JobView::Progress(int position, int maximum) {
  ProgramingState::SetProgress(position, maximum);
  ProgressChanged(position, maximum);
}

void MemoryJobView::FlashListChanged(const TFlashes& flashes) {
  form.FlashListChanged(flashes);
  form.info.Clear();  // the line goes through the job's log instead
  if (!flashes.Last()) return;
  SetFlashTimes(form.selectedFlash);
  JobLog(&info, ">> OK, Selected flash \"%s\"", {form.selectedFlash.name});
}

void MemoryJobView::ShowMessage(const std::string& text) { Ask({text, "Tessaro", MB_OK}); }

// Marks the job as running for as long as it lives, errors included, so the
// window refuses to close meanwhile.
class TProgrammingJob::RunningScope {
 public:
  explicit RunningScope(TProgrammingJob& job) : job_(job), was_(job.running_) {
    job_.running_ = true;
  }
  ~RunningScope() { job_.running_ = was_; }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  TProgrammingJob& job_;
  bool was_;
};

// The units below the run ask through the view the job shows itself in.
TProgrammingJob::TProgrammingJob() { SetLibraryEvents(&memory_); }
TProgrammingJob::~TProgrammingJob() { SetLibraryEvents(nullptr); }

void TProgrammingJob::Attach(JobView* view) {
  view_ = view;
  SetLibraryEvents(&View());
}

void TProgrammingJob::Detach(JobView* view) {
  if (view_ == view) view_ = nullptr;
  SetLibraryEvents(&View());
}

void TProgrammingJob::Log(TStrings* list, const std::string& format,
                          std::initializer_list<FormatArg> args) {
  JobLog(list, format, args);
}

bool TProgrammingJob::Program(uint16_t vid, uint16_t pid, const std::string& fileName,
                              const std::string& serialNumber) {
  SetStatus(1);
  if (!FileExists(fileName)) {
    SetStatus(-1);
    return false;
  }
  RunningScope running(*this);
  JobView& view = View();
  view.JobStarted(fileName);
  TLineList& info = view.Info();
  info.Clear();
  view.Messages().Clear();
  Log(&info, "");
  Log(&info, "#############################################start###");
  Log(&info, "Try programing bin file \"%s\" ...", {fileName});
  bool result = ReadFile(fileName) && RunCommands(vid, pid, serialNumber);
  Log(&info, "%s, Programing bin file \"%s\"", {result ? "OK" : "ERROR", fileName});
  Log(&info, "#############################################end#####");
  Log(&info, "");
  return result;
}

bool TProgrammingJob::ReadFile(const std::string& fileName) {
  return ReadProgramFile(fileName, records_, View());
}

bool TProgrammingJob::RunCommands(uint16_t vid, uint16_t pid, const std::string& serialNumber) {
  RunningScope running(*this);
  View().CommandsStarted();
  bool result = false;
  try {
    result = runner_ && runner_(*this, vid, pid, serialNumber);
  } catch (...) {
    records_.blocks.Clear();
    View().CommandsEnded(false);
    throw;
  }
  records_.blocks.Clear();
  View().CommandsEnded(result);
  return result;
}

void TProgrammingJob::SetStatus(int16_t status) { ProgramingState::SetStatus(status); }
int16_t TProgrammingJob::Status() const { return ProgramingState::Status(); }
uint32_t TProgrammingJob::StatusWord() const { return ProgramingState::StatusWord(); }

FlashProgress TProgrammingJob::FlashProgressSink() {
  return [this](FlashPhase phase, int done, int total) {
    View().FlashProgressChanged(phase, done, total);
  };
}

namespace {
// The job of this load, made with the library's statics: the form and
// in-process users reach it without the library's context. At namespace
// scope: a function's static would need a guard, and with it the thread
// library. Not in the library's parts: they lie in the layer below the job,
// and in-process users have no context to own one.
TProgrammingJob g_job;
}  // namespace

TProgrammingJob& LibraryJob() { return g_job; }

}  // namespace tessaro
