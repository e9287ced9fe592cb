#include "core/orve_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "core/records.h"

namespace tto {
namespace {

// A file exists when the path names something that is not a directory,
// as the platform's file-exists test has it; whether it can be read is found
// out when it is opened.
bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

std::string ResolveOrvePath(const std::string& folder, std::string_view name) {
  const std::string exact = folder + std::string(name);
  struct stat st {};
  if (::lstat(exact.c_str(), &st) == 0) return exact;

  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()),
                                                 ::closedir);
  if (!dir) return exact;
  const std::string wanted = AsciiUpper(name);
  std::string best;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string candidate = entry->d_name;
    if (AsciiUpper(candidate) == wanted && (best.empty() || candidate < best)) best = candidate;
  }
  return best.empty() ? exact : folder + best;
}

bool OrveFileExists(const std::string& folder, std::string_view name) {
  return IsFile(ResolveOrvePath(folder, name));
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace tto
