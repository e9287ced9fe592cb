#include "core/orve_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "core/records.h"

namespace tto {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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
  return IsRegularFile(ResolveOrvePath(folder, name));
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace tto
