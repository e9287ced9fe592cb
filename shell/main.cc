// File: shell/main.cc
//
// Program start: the application with its help file and title, the main
// window, the event loop.
#include <QApplication>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "shell/main_form.h"

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
