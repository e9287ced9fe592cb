// A small Windows host for the end-to-end test under Wine: it starts the
// launcher the way Tempario does, with a run mode and the handle of one of
// its windows, waits on the process handle and reads the outcome with the
// Windows ini API.
//
//   test_host.exe LAUNCHER MODE [--shell] [--menu] [--child] [--upper]
//                 [--handle TEXT] [--no-handle]
//
// --shell starts the launcher with ShellExecuteEx (else CreateProcess);
// --menu gives the window a menu bar; --child hands over the handle of a
// child control inside the window; --upper writes the handle in capitals
// with eight digits; --handle passes TEXT in place of a handle.
// It writes "host.txt" into its current folder: before starting, the handle
// handed over and its client area in screen coordinates; after the wait,
// how long it waited, the exit status and the value read from Tempario.ini
// beside the launcher. While it waits, a file "destroy" appearing in its
// current folder makes it destroy its window, and a file "reshape" makes it
// drop its menu bar and move and resize its window, then report the client
// area anew ("reclient"). --no-handle passes the run mode alone.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcW(window, message, w, l);
}

void Append(const char* text) {
  FILE* report = std::fopen("host.txt", "ab");
  if (report == nullptr) return;
  std::fputs(text, report);
  std::fclose(report);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count < 3) return 2;
  const std::wstring launcher = argv[1];
  const std::wstring mode = argv[2];
  bool shell = false, menu = false, child = false, upper = false, no_handle = false;
  std::wstring handle_text;
  for (int i = 3; i < count; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--shell") shell = true;
    if (a == L"--menu") menu = true;
    if (a == L"--child") child = true;
    if (a == L"--upper") upper = true;
    if (a == L"--no-handle") no_handle = true;
    if (a == L"--handle" && i + 1 < count) handle_text = argv[++i];
  }

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = L"TestHost";
  RegisterClassW(&window_class);
  HMENU bar = nullptr;
  if (menu) {
    bar = CreateMenu();
    AppendMenuW(bar, MF_STRING, 1, L"&Archivo");
    AppendMenuW(bar, MF_STRING, 2, L"&Horarios");
  }
  HWND window = CreateWindowW(L"TestHost", L"Test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 40,
                              800, 400, nullptr, bar, instance, nullptr);
  HWND handed = window;
  if (child) {
    handed = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_WHITERECT, 30, 20, 700, 320,
                           window, nullptr, instance, nullptr);
  }
  MSG message;
  for (int i = 0; i < 10; ++i) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(20);
  }

  wchar_t handle[32];
  const auto value = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(handed));
  swprintf(handle, 32, upper ? L"%08X" : L"%x", value);
  if (!handle_text.empty()) lstrcpynW(handle, handle_text.c_str(), 32);
  POINT client{0, 0};
  ClientToScreen(handed, &client);
  char line[256];
  std::snprintf(line, sizeof line, "hwnd %x\nclient %ld %ld\n", value, client.x, client.y);
  Append(line);

  const std::wstring parameters = no_handle ? mode : mode + L" " + handle;
  HANDLE process = nullptr;
  if (shell) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = launcher.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) process = info.hProcess;
  } else {
    std::wstring command = L"\"" + launcher + L"\" " + parameters;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(launcher.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &started)) {
      CloseHandle(started.hThread);
      process = started.hProcess;
    }
  }
  if (process == nullptr) {
    Append("started no\n");
    return 3;
  }
  const DWORD start = GetTickCount();
  while (MsgWaitForMultipleObjects(1, &process, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (window != nullptr && GetFileAttributesW(L"destroy") != INVALID_FILE_ATTRIBUTES) {
      DestroyWindow(window);
      window = nullptr;
    }
    if (window != nullptr && GetFileAttributesW(L"reshape") != INVALID_FILE_ATTRIBUTES) {
      DeleteFileW(L"reshape");
      SetMenu(window, nullptr);
      SetWindowPos(window, nullptr, 150, 110, 820, 440, SWP_NOZORDER);
      POINT moved{0, 0};
      ClientToScreen(handed, &moved);
      std::snprintf(line, sizeof line, "reclient %ld %ld\n", moved.x, moved.y);
      Append(line);
    }
  }
  const DWORD waited = GetTickCount() - start;
  DWORD status = 0;
  GetExitCodeProcess(process, &status);
  CloseHandle(process);

  const std::wstring ini =
      launcher.substr(0, launcher.find_last_of(L"\\/") + 1) + L"Tempario.ini";
  wchar_t outcome[64];
  GetPrivateProfileStringW(L"Transformadores", L"Transformado", L"(none)", outcome, 64,
                           ini.c_str());
  std::snprintf(line, sizeof line, "waited %lu\nexit %lu\noutcome %ls\n", waited, status, outcome);
  Append(line);
  if (window != nullptr) DestroyWindow(window);
  return 0;
}
