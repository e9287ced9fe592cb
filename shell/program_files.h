// File: shell/program_files.h
//
// Where the program finds the files it keeps beside itself: the HTML Help
// module, the help file ORVE.chm and the Windows-side launcher. Installed,
// they live in <prefix>/lib/transtempexorve/ while the programs are in
// <prefix>/bin/; in the build tree they sit beside the programs. Qt-free.
#pragma once

#include <filesystem>
#include <string>

namespace tto {

// The folder under the installation prefix that holds the program's files.
inline constexpr char kProgramFilesSubfolder[] = "lib/transtempexorve";

// For the program file `program`: <its folder>/../lib/transtempexorve/ when
// that folder exists, else the program's own folder. With a trailing "/".
std::string ProgramFilesFolderOf(const std::filesystem::path& program);

// The same for the running program (its file from /proc/self/exe); empty
// when that cannot be read.
std::string ProgramFilesFolder();

}  // namespace tto
