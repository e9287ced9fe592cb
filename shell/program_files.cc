// File: shell/program_files.cc
#include "shell/program_files.h"

#include <system_error>

namespace tto {

std::string ProgramFilesFolderOf(const std::filesystem::path& program) {
  const std::filesystem::path folder = program.parent_path();
  const std::filesystem::path installed =
      (folder.parent_path() / kProgramFilesSubfolder).lexically_normal();
  std::error_code error;
  const std::filesystem::path& chosen =
      std::filesystem::is_directory(installed, error) ? installed : folder;
  std::string text = chosen.string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

std::string ProgramFilesFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || program.empty()) return {};
  return ProgramFilesFolderOf(program);
}

}  // namespace tto
