#include "core/orve_path.h"

#include <sys/stat.h>

#include <algorithm>

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

std::vector<std::filesystem::path> FindIgnoringCase(const std::filesystem::path& folder,
                                                    std::string_view name) {
  std::vector<std::filesystem::path> found;
  const std::string wanted = AsciiUpper(name);
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, error), end;
       !error && it != end; it.increment(error)) {
    if (AsciiUpper(it->path().filename().string()) == wanted) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end(), [name](const auto& a, const auto& b) {
    const bool a_exact = a.filename() == name;
    const bool b_exact = b.filename() == name;
    return a_exact != b_exact ? a_exact : a.filename().string() < b.filename().string();
  });
  return found;
}

std::string ResolveOrvePath(const std::string& folder, std::string_view name) {
  const std::string exact = folder + std::string(name);
  struct stat st {};
  if (::lstat(exact.c_str(), &st) == 0) return exact;
  const auto found = FindIgnoringCase(folder, name);
  return found.empty() ? exact : folder + found.front().filename().string();
}

bool OrveFileExists(const std::string& folder, std::string_view name) {
  return IsFile(ResolveOrvePath(folder, name));
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace tto
