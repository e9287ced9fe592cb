// TransTempexOrve.exe: the program Tempario starts, under Wine, in place of
// the window itself. The window is a Linux program; Wine would start it
// without a process handle, so the host could not wait for it, and the
// handle the host passes is a Win32 window handle that means nothing on
// the X11 side. This launcher, a Windows program in the host's Wine prefix:
//
//  - turns the host's window handle into the X11 window that Wine made for
//    it (the window's own, or that of its nearest ancestor that has one),
//    and tells the Linux program where the handle's client area lies;
//  - starts the Linux program recorded in "TransTempexOrve.path" beside
//    it, with the host's parameters, the host's current folder, C:\ZWORK of
//    this prefix as the work folder and "Tempario.ini" beside the launcher
//    as the ini file;
//  - waits for it while serving its own message queue, and ends with its
//    exit status, so that the host's wait ends when the window has closed
//    and the ini file has been written;
//  - while waiting, tells the Linux program when the client area moves
//    inside the X11 window (a menu bar that wraps, a frame that changes).
//
// What the Linux program gets (it documents the same names):
//   TRANSTEMPEXORVE_INI_FILE      the ini file the host reads (Unix path)
//   TRANSTEMPEXORVE_WORK_FOLDER   the Tempario tables' folder (Unix path)
//   TRANSTEMPEXORVE_HOST_CLIENT   a file holding "X Y SCREEN": the client
//       area's origin in Win32 screen coordinates and, in hexadecimal, the
//       X11 window whose origin is the Win32 screen's origin (0 for the X
//       root window; Wine's virtual desktop has a window of its own)
// With exactly two parameters and a handle that names a window with an X11
// window, parameter 2 becomes that X11 window's id in hexadecimal; any other
// parameters go through as they are.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kTitle[] = L"transTempexOrve";
// Exit status when the Linux program could not be started at all.
constexpr int kNotStarted = 126;

using UnixFileName = char*(CDECL*)(const wchar_t*);
using UnixSpawn = LONG(CDECL*)(char* const*, int);
using DosFileName = wchar_t*(CDECL*)(const char*);

UnixFileName to_unix = nullptr;
DosFileName to_dos = nullptr;
UnixSpawn unix_spawn = nullptr;

// An entry point of a module loaded already; null when it has none.
template <typename Function>
Function EntryPoint(const wchar_t* module, const char* name) {
  const FARPROC found = GetProcAddress(GetModuleHandleW(module), name);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

void Tell(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size);
  return out;
}

// The Unix path of a Windows path; empty when Wine has none for it.
std::string UnixPath(const std::wstring& path) {
  char* unix_path = to_unix(path.c_str());
  if (unix_path == nullptr) return {};
  std::string out = unix_path;
  HeapFree(GetProcessHeap(), 0, unix_path);
  return out;
}

bool UnixFileExists(const std::string& path) {
  wchar_t* dos_path = to_dos(path.c_str());
  if (dos_path == nullptr) return false;
  const DWORD attributes = GetFileAttributesW(dos_path);
  HeapFree(GetProcessHeap(), 0, dos_path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ModuleFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring CurrentFolder() {
  std::wstring path(GetCurrentDirectoryW(0, nullptr), L'\0');
  path.resize(GetCurrentDirectoryW(DWORD(path.size()), path.data()));
  return path;
}

// The name under which a file exists in `folder`, whatever its letter case
// there; `name` itself when there is none yet.
std::wstring ExistingName(const std::wstring& folder, const std::wstring& name) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\" + name).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return name;
  FindClose(search);
  return found.cFileName;
}

// The first line of a file, without its line end; false when it cannot be
// read.
bool ReadFirstLine(const std::wstring& path, std::string& line) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD read = 0;
  const BOOL ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr);
  CloseHandle(file);
  if (!ok) return false;
  line.assign(buffer, read);
  line = line.substr(0, line.find_first_of("\r\n"));
  return true;
}

// The window handle the host passes: one or more hexadecimal digits with a
// value of at most FFFFFFFF, as the Linux program reads it.
bool ParseHandle(const std::wstring& text, std::uint32_t& value) {
  std::uint64_t number = 0;
  if (text.empty()) return false;
  for (const wchar_t c : text) {
    int digit = -1;
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    if (digit < 0) return false;
    number = number * 16 + std::uint64_t(digit);
    if (number > 0xFFFFFFFFu) return false;
  }
  value = std::uint32_t(number);
  return true;
}

// Wine's X11 window for `window`: its own or, for a child control, that of
// its nearest ancestor that has one; 0 when there is none.
std::uintptr_t X11Window(HWND window) {
  for (HWND w = window; w != nullptr; w = GetAncestor(w, GA_PARENT)) {
    if (const auto id = reinterpret_cast<std::uintptr_t>(GetPropA(w, "__wine_x11_whole_window"))) {
      return id;
    }
    if (w == GetDesktopWindow()) break;
  }
  return 0;
}

std::string Hex(std::uintptr_t value) {
  char text[20];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

// The client area of the host's window as the Linux program reads it: "X Y
// SCREEN" (see the top of this file).
std::string ClientPlace(HWND window) {
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const auto screen = reinterpret_cast<std::uintptr_t>(
      GetPropA(GetDesktopWindow(), "__wine_x11_whole_window"));
  return std::to_string(origin.x) + " " + std::to_string(origin.y) + " " + Hex(screen) + "\n";
}

// Writes `text` into `path` through a temporary file and a rename, so that
// the reader never sees half a line.
void WriteWhole(const std::wstring& path, const std::string& text) {
  const std::wstring temporary = path + L".tmp";
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  FlushFileBuffers(file);
  CloseHandle(file);
  MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

struct Spawn {
  std::vector<std::string> argv;
  LONG status = 0;
};

DWORD WINAPI RunAndWait(void* context) {
  auto* spawn = static_cast<Spawn*>(context);
  std::vector<char*> argv;
  for (std::string& a : spawn->argv) argv.push_back(a.data());
  argv.push_back(nullptr);
  spawn->status = unix_spawn(argv.data(), 1);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Wine's own entry points: the Unix name of a Windows path, and starting
  // a Unix program and waiting for it. Without them this is not Wine.
  to_unix = EntryPoint<UnixFileName>(L"kernel32.dll", "wine_get_unix_file_name");
  to_dos = EntryPoint<DosFileName>(L"kernel32.dll", "wine_get_dos_file_name");
  unix_spawn = EntryPoint<UnixSpawn>(L"ntdll.dll", "__wine_unix_spawnvp");
  if (to_unix == nullptr || to_dos == nullptr || unix_spawn == nullptr) {
    Tell(L"TransTempexOrve necesita Wine: este programa abre la ventana de transTempexOrve "
         L"(un programa de Linux) y solo funciona dentro de Wine.");
    return kNotStarted;
  }

  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> parameters;
  for (int i = 1; i < count; ++i) parameters.emplace_back(arguments[i]);
  LocalFree(arguments);

  const std::wstring folder = ModuleFolder();
  std::string program;
  if (!ReadFirstLine(folder + L"\\TransTempexOrve.path", program) || program.empty()) {
    Tell(L"No se encuentra " + folder +
         L"\\TransTempexOrve.path, que indica d\u00f3nde est\u00e1 transTempexOrve. "
         L"Inst\u00e1lelo con: transtempexorve-cli install-host-launcher " + folder);
    return kNotStarted;
  }
  if (!UnixFileExists(program)) {
    Tell(L"No se encuentra transTempexOrve en " + Wide(program) +
         L". Vuelva a instalarlo con: transtempexorve-cli install-host-launcher " + folder);
    return kNotStarted;
  }

  Spawn spawn;
  spawn.argv = {"/usr/bin/env"};
  // The directory list starts in the host's current folder.
  if (const std::string here = UnixPath(CurrentFolder()); !here.empty()) {
    spawn.argv.insert(spawn.argv.end(), {"-C", here});
  }
  spawn.argv.push_back("TRANSTEMPEXORVE_INI_FILE=" +
                       UnixPath(folder + L"\\" + ExistingName(folder, L"Tempario.ini")));
  spawn.argv.push_back("TRANSTEMPEXORVE_WORK_FOLDER=" + UnixPath(L"C:\\ZWORK"));

  HWND host = nullptr;
  std::wstring place_file;
  std::string place;
  std::uint32_t handle = 0;
  if (parameters.size() == 2 && ParseHandle(parameters[1], handle)) {
    const auto window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
    const std::uintptr_t x11 = IsWindow(window) ? X11Window(window) : 0;
    if (x11 != 0) {
      host = window;
      parameters[1] = Wide(Hex(x11));
      wchar_t temp[MAX_PATH + 1];
      GetTempPathW(MAX_PATH + 1, temp);
      place_file = std::wstring(temp) + L"TransTempexOrve-" + std::to_wstring(GetCurrentProcessId()) +
                   L".place";
      place = ClientPlace(window);
      WriteWhole(place_file, place);
      spawn.argv.push_back("TRANSTEMPEXORVE_HOST_CLIENT=" + UnixPath(place_file));
    }
    // A handle that names no window goes on as it is: the Linux program,
    // told by the missing client file that it names nothing, shows its
    // error box and opens on its own.
  }
  spawn.argv.push_back(program);
  for (const std::wstring& p : parameters) spawn.argv.push_back(Utf8(p));

  const HANDLE waiter = CreateThread(nullptr, 0, RunAndWait, &spawn, 0, nullptr);
  if (waiter == nullptr) return kNotStarted;
  // Serve the message queue while the window is open; follow the client
  // area when the host's frame or menu bar changes it.
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &waiter, FALSE, 200, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (host != nullptr && IsWindow(host)) {
      if (std::string now = ClientPlace(host); now != place) {
        place = std::move(now);
        WriteWhole(place_file, place);
      }
    }
  }
  CloseHandle(waiter);
  if (!place_file.empty()) DeleteFileW(place_file.c_str());

  // Unix exit statuses are 0 to 255; anything above is Wine's reason why
  // the program could not be started.
  if (static_cast<ULONG>(spawn.status) > 255) {
    Tell(L"No se puede iniciar transTempexOrve (" + Wide(program) + L").");
    return kNotStarted;
  }
  return int(spawn.status);
}
