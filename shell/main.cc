// File: shell/main.cc
//
// Program start: the application with its help file and title, the main
// window, the event loop.
#include <QApplication>

#include <cstdlib>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "shell/main_form.h"
#include "shell/version.h"

namespace {

constexpr char kUsage[] =
    "Usage: transtempexorve [MODE HANDLE]\n"
    "       transtempexorve --help | --version\n"
    "\n"
    "Opens the window that moves timetabling data between ORVE and Tempario.\n"
    "With exactly two parameters it runs hosted: it embeds itself in the X11\n"
    "window HANDLE (hexadecimal, no prefix), offers only the run MODE names\n"
    "(exportar, importar; any other word offers both), closes after the run and\n"
    "writes the outcome (1, 0 or -1) to Tempario.ini, section Transformadores,\n"
    "key Transformado.\n"
    "\n"
    "Options:\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "The tables live in the work folder: $TRANSTEMPEXORVE_WORK_FOLDER, else\n"
    "Wine's C:\\ZWORK ($WINEPREFIX/drive_c/ZWORK).\n"
    "\n"
    "Exit status:\n"
    "  0      the window was closed (the outcome of a run goes to Tempario.ini)\n"
    "  not 0  the window could not be opened (no display, for example)\n";

}  // namespace

int main(int argc, char** argv) {
  // The parameters exactly as the caller gave them; the host passes the run
  // mode and its window's handle.
  tto::FormOptions options;
  options.parameters.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  // Started under Wine by the host's launcher TransTempexOrve.exe, which
  // says where the host reads the ini file (beside the launcher) and where
  // the host window's client area lies. A native host sets neither.
  if (const char* ini = std::getenv("TRANSTEMPEXORVE_INI_FILE"); ini != nullptr && *ini) {
    options.from_launcher = true;
    options.ini_path = ini;
    if (const char* client = std::getenv("TRANSTEMPEXORVE_HOST_CLIENT")) {
      options.host_client_file = client;
    }
  }
  if (options.parameters.size() == 1 && options.parameters[0] == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.parameters.size() == 1 && options.parameters[0] == "--version") {
    std::printf("transtempexorve (transTempexOrve) %s\n", tto::kVersion);
    return 0;
  }

  // The host's handle is an X11 window id: in a Wayland session the window
  // then goes through XWayland, unless the user chose a platform.
  if (options.parameters.size() == 2 && qEnvironmentVariableIsSet("DISPLAY") &&
      !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "xcb");
  }

  QApplication app(argc, argv);
  QApplication::setStyle("Fusion");
  QApplication::setFont(tto::WindowFont());
  app.setProperty("helpFile", "ORVE.chm");
  QApplication::setApplicationName(tto::kApplicationTitle);

  tto::TMForm form(std::move(options));
  // The program ends with its window, also when the window is a child of a
  // host window, which Qt does not count as one of the program's windows.
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(&form, &tto::TMForm::Closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  form.show();
  return app.exec();
}
