// File: platform/htmlhelp/htmlhelp.cc
//
// The module's entry point. It runs inside the program's Qt application, on
// its user-interface thread, and keeps one help window per help file; a
// process without a QApplication gets nothing shown.
#include <QApplication>
#include <QPointer>

#include <map>
#include <string>

#include "platform/htmlhelp/help_window.h"
#include "platform/htmlhelp/htmlhelp_api.h"

namespace tto::htmlhelp {
namespace {

// The open windows by help file. Never destroyed: the windows go when the
// application quits, and nothing of this module may run after that.
std::map<std::string, QPointer<HelpWindow>>& Windows() {
  static auto* windows = new std::map<std::string, QPointer<HelpWindow>>;
  return *windows;
}

void CloseAll() {
  std::map<std::string, QPointer<HelpWindow>> windows;
  windows.swap(Windows());
  for (auto& [file, window] : windows) delete window.data();
}

HelpWindow& WindowFor(const std::string& help_file) {
  static QPointer<QCoreApplication> watched;
  if (watched != QCoreApplication::instance()) {
    watched = QCoreApplication::instance();
    QObject::connect(watched, &QCoreApplication::aboutToQuit, [] { CloseAll(); });
  }
  QPointer<HelpWindow>& window = Windows()[help_file];
  if (window == nullptr) window = new HelpWindow(help_file);
  return *window;
}

}  // namespace
}  // namespace tto::htmlhelp

extern "C" __attribute__((visibility("default"))) uintptr_t HtmlHelpA(uintptr_t /*window*/,
                                                                      const char* file,
                                                                      unsigned command,
                                                                      uintptr_t data) {
  using namespace tto;
  using htmlhelp::HelpWindow;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return 0;
  if (command == HH_CLOSE_ALL) {
    htmlhelp::CloseAll();
    return 0;
  }
  if (file == nullptr) return 0;
  // "help.chm::/topic.htm" names a topic inside the help file.
  std::string help_file = file;
  std::string topic;
  if (const std::size_t split = help_file.find("::"); split != std::string::npos) {
    topic = help_file.substr(split + 2);
    help_file.resize(split);
  }
  switch (command) {
    case HH_DISPLAY_TOPIC:
    case HH_DISPLAY_TOC: {
      HelpWindow& window = htmlhelp::WindowFor(help_file);
      if (command == HH_DISPLAY_TOPIC && !topic.empty()) {
        window.ShowTopic(topic);
      } else {
        window.ShowDefaultTopic();
      }
      return window.winId();
    }
    case HH_DISPLAY_INDEX: {
      HelpWindow& window = htmlhelp::WindowFor(help_file);
      const char* keyword = reinterpret_cast<const char*>(data);
      window.ShowKeyword(keyword != nullptr ? QString::fromUtf8(keyword) : QString());
      return window.winId();
    }
    case HH_HELP_CONTEXT: {
      HelpWindow& window = htmlhelp::WindowFor(help_file);
      window.ShowContext(static_cast<uint32_t>(data));
      return window.winId();
    }
    default:
      return 0;
  }
}
