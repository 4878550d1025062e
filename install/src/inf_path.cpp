#include "inf_path.h"

namespace install {

bool InfPathBeside(const std::string& programPath, size_t capacity, std::string* infPath) {
  size_t slash = programPath.rfind('\\');
  std::string folder = slash == std::string::npos ? "" : programPath.substr(0, slash + 1);
  std::string path = folder + kInfRelativePath;
  if (path.size() + 1 > capacity) return false;
  *infPath = path;
  return true;
}

}  // namespace install
