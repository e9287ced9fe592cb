// File: shell/host_launcher_install.h
//
// `transtempexorve-cli install-host-launcher DIR`: puts the Windows-side
// launcher TransTempexOrve.exe into the host's folder inside a Wine prefix,
// with "TransTempexOrve.path" beside it naming the window program that the
// launcher starts. Qt-free.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace tto {

struct LauncherInstall {
  // The Wine prefix: $WINEPREFIX, else ~/.wine.
  std::filesystem::path prefix;
  // The host's folder as given: a Windows path ("C:\Tempario") or a Unix path.
  std::string folder;
  // The built launcher and the window program it is to start.
  std::filesystem::path launcher;
  std::filesystem::path program;
};

// The folder a Windows path names inside `prefix` (its drive through the
// prefix's dosdevices, each further name matched ignoring letter case, as
// Wine does); a Unix path as it is. Empty when it names no folder.
std::filesystem::path HostFolderInPrefix(const std::filesystem::path& prefix,
                                         const std::string& folder);

// The launcher and the program as installed beside `cli` (the command-line
// tool's own path): the launcher beside it, else in ../lib/transtempexorve/,
// else in the build folder; the window program beside it. An empty path
// where there is none.
LauncherInstall FindLauncherFiles(const std::filesystem::path& cli);

// Installs; on success says what it did on `out` and returns 0, else says
// why on `err` and returns 1.
int InstallHostLauncher(const LauncherInstall& install, std::ostream& out, std::ostream& err);

}  // namespace tto
