// File: shell/app_help.cc
//
// The window's help requests, handed to the application's help framework,
// and the HTML help viewer's registration for the life of the process.
#include "shell/app_help.h"

#include <QApplication>
#include <QVariant>

#include "shell/help/help_framework.h"
#include "shell/help/html_help_viewer.h"

namespace tto {
namespace {

constexpr char kHelpFile[] = "ORVE.chm";

// The viewer registers before main() runs, so that it is there before the
// window exists, and withdraws when the process ends.
struct HtmlHelpRegistration {
  HtmlHelpRegistration() {
    help::StartHtmlHelp(help::Application(), help::HtmlHelpEnvironment::ForThisProgram());
  }
  ~HtmlHelpRegistration() { help::StopHtmlHelp(); }
};
const HtmlHelpRegistration registration;

// Program start keeps the application's help file as the Qt application's
// "helpFile" property; the help framework takes it from there.
void TakeApplicationHelpFile() {
  if (qApp == nullptr) return;
  const QVariant help_file = qApp->property("helpFile");
  if (help_file.isValid()) help::Application().SetHelpFile(help_file.toString().toStdString());
}

}  // namespace

void ShowHelpContents() {
  help::Application().SetHelpFile(kHelpFile);
  help::Application().HelpCommand(help::HELP_CONTENTS, 0);
}

void ShowHelpContext(int context) {
  TakeApplicationHelpFile();
  help::Application().HelpContext(context);
}

}  // namespace tto
