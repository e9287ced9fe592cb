// File: shell/main.cc
//
// Program start: the application with its help file and title, the main
// window, the event loop.
#include <QApplication>

#include <string>
#include <vector>

#include "shell/main_form.h"

int main(int argc, char** argv) {
  // The parameters exactly as the caller gave them; the host passes the run
  // mode and its window's handle.
  tto::FormOptions options;
  options.parameters.assign(argv + (argc > 0 ? 1 : 0), argv + argc);

  QApplication app(argc, argv);
  QApplication::setStyle("Fusion");
  app.setProperty("helpFile", "ORVE.chm");
  QApplication::setApplicationName(tto::kApplicationTitle);

  tto::TMForm form(std::move(options));
  form.show();
  return app.exec();
}
