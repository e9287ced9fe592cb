// File: shell/host_launcher_install.cc
#include "shell/host_launcher_install.h"

#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "core/errors.h"
#include "core/orve_path.h"
#include "core/text_file.h"

namespace tto {
namespace fs = std::filesystem;

namespace {

constexpr char kLauncherName[] = "TransTempexOrve.exe";
constexpr char kProgramFileName[] = "TransTempexOrve.path";

bool IsDirectory(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// `name` in `folder` as it exists there, whatever its letter case; as given
// when it does not exist yet.
fs::path InFolder(const fs::path& folder, const std::string& name) {
  const std::vector<fs::path> found = FindIgnoringCase(folder, name);
  return found.empty() ? folder / name : found.front();
}

}  // namespace

fs::path HostFolderInPrefix(const fs::path& prefix, const std::string& folder) {
  const bool windows_path = folder.size() >= 2 && folder[1] == ':' &&
                            ((folder[0] >= 'A' && folder[0] <= 'Z') ||
                             (folder[0] >= 'a' && folder[0] <= 'z'));
  if (!windows_path) return IsDirectory(folder) ? fs::path(folder) : fs::path();
  // dosdevices holds the drives as "c:", "z:", ... in small letters.
  const char drive[] = {static_cast<char>(folder[0] | 0x20), ':', '\0'};
  fs::path path = prefix / "dosdevices" / drive;
  if (!IsDirectory(path)) return {};
  for (std::size_t start = 2; start <= folder.size();) {
    std::size_t end = folder.find_first_of("\\/", start);
    if (end == std::string::npos) end = folder.size();
    const std::string name = folder.substr(start, end - start);
    if (!name.empty() && name != ".") {
      path = name == ".." ? path.parent_path() : InFolder(path, name);
      if (!IsDirectory(path)) return {};
    }
    start = end + 1;
  }
  return path;
}

LauncherInstall FindLauncherFiles(const fs::path& cli) {
  LauncherInstall files;
  const fs::path here = cli.parent_path();
  std::vector<fs::path> places = {here / kLauncherName,
                                  here / ".." / "lib" / "transtempexorve" / kLauncherName};
#ifdef TTO_BUILT_HOST_LAUNCHER
  places.emplace_back(TTO_BUILT_HOST_LAUNCHER);
#endif
  for (const fs::path& place : places) {
    if (IsFile(place)) {
      files.launcher = place.lexically_normal();
      break;
    }
  }
  if (IsFile(here / "transtempexorve")) files.program = here / "transtempexorve";
  return files;
}

int InstallHostLauncher(const LauncherInstall& install, std::ostream& out, std::ostream& err) {
  const auto fail = [&err](const std::string& why) {
    err << "transtempexorve-cli: " << why << '\n';
    return 1;
  };
  if (install.launcher.empty()) {
    return fail(std::string("the host launcher ") + kLauncherName +
                " was not built (it needs the mingw-w64 cross compiler, x86_64-w64-mingw32-g++)");
  }
  if (install.program.empty()) {
    return fail("the window program transtempexorve is not installed beside transtempexorve-cli");
  }
  if (!IsDirectory(install.prefix / "dosdevices")) {
    return fail("there is no Wine prefix in " + install.prefix.string() +
                " (set WINEPREFIX, or run wine once to create it)");
  }
  const fs::path folder = HostFolderInPrefix(install.prefix, install.folder);
  if (folder.empty()) {
    return fail("the folder " + install.folder + " does not exist in the Wine prefix " +
                install.prefix.string());
  }
  std::error_code ec;
  const fs::path program = fs::absolute(install.program, ec).lexically_normal();
  // An earlier launcher is replaced under the name it has.
  const fs::path launcher = InFolder(folder, kLauncherName);
  try {
    std::ifstream in(install.launcher, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (in.bad() || bytes.empty()) throw Error("cannot read " + install.launcher.string());
    SaveFile(bytes, launcher.string());
    SaveFile(program.string() + "\n", InFolder(folder, kProgramFileName).string());
  } catch (const Error& error) {
    return fail(error.what());
  }
  out << "Installed " << fs::weakly_canonical(launcher, ec).string() << ", which starts "
      << program.string() << ".\n"
      << "Tempario starts " << kLauncherName << " MODE HANDLE from that folder and reads\n"
      << "Tempario.ini beside it.\n";
  return 0;
}

}  // namespace tto
