#include "start_programming.h"

#include "programming_job.h"

namespace tessaro {

bool StartProgramming(uint16_t vid, uint16_t pid, const std::string& fileName,
                      const std::string& serialNumber) {
  return LibraryJob().Program(vid, pid, fileName, serialNumber);
}

}  // namespace tessaro
