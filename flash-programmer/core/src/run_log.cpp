#include "tessaro/run_log.h"

#include <vector>

namespace tessaro {

void RunLog::LogLine(const std::string& line) {
  lines_.Add(line);
  shown_.LogLine(line);
}

void RunLog::ReplaceLastLines(int count, const std::string& line) {
  tessaro::ReplaceLastLines(lines_, count, line);
  shown_.ReplaceLastLines(count, line);
}

void RunLog::SetLine(int index, const std::string& line) {
  if (index < 0 || index >= Count()) return;
  // The lines after it follow it again, as they were.
  std::vector<std::string> after(lines_.Lines().begin() + index + 1, lines_.Lines().end());
  ReplaceLastLines(Count() - index, line);
  for (const std::string& next : after) LogLine(next);
}

void RunLog::DeleteLast() {
  if (Count() < 2) return;
  ReplaceLastLines(2, Line(Count() - 2));
}

}  // namespace tessaro
