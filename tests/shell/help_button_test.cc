// The window's help button and F1 through the whole help path: the help
// viewer that registers when the program starts, the help framework, and the
// HTML Help module and the help file beside the program (here: beside this
// test program; the build links the module there). Offscreen platform.
#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>

#include <filesystem>

#include <gtest/gtest.h>

#include "shell/help/html_help_viewer.h"
#include "shell/main_form.h"
#include "tests/shell/help_file_builder.h"

namespace tto {
namespace {

namespace fs = std::filesystem;

QWidget* HelpWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == "HtmlHelpWindow" && widget->isVisible()) return widget;
  }
  return nullptr;
}

QString TopicPath() {
  QWidget* window = HelpWindow();
  if (window == nullptr) return "<no help window>";
  return window->findChild<QTextBrowser*>("HtmlHelpTopic")->source().path();
}

QString LeftTab() {
  return HelpWindow()->findChild<QTabWidget*>()->currentWidget()->objectName();
}

TEST(HelpButtonTest, ButtonShowsTheContentsAndF1TheTopicOfContext3) {
  const fs::path program_folder = fs::canonical("/proc/self/exe").parent_path();
  ASSERT_NE(help::HtmlHelpViewer(), nullptr) << "the viewer registers before main()";
  ASSERT_TRUE(help::HtmlHelpViewer()->HasEntryPoint()) << "no module in " << program_folder;

  const fs::path build = fs::temp_directory_path() / "tto_help_button_test";
  const fs::path help_file = testing::BuildHelpFile(build);
  if (help_file.empty()) GTEST_SKIP() << "chmcmd is not installed";
  const fs::path orve_chm = program_folder / "ORVE.chm";
  fs::copy_file(help_file, orve_chm, fs::copy_options::overwrite_existing);

  qApp->setProperty("helpFile", "ORVE.chm");  // as program start does
  TMForm form;
  form.show();
  form.findChild<QPushButton*>("Button1")->click();
  EXPECT_EQ(TopicPath(), "/inicio.htm");
  EXPECT_EQ(LeftTab(), "HtmlHelpContents");

  QApplication::setActiveWindow(&form);
  form.findChild<QPushButton*>("BExportar")->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
  EXPECT_EQ(TopicPath(), "/ventana.htm");

  fs::remove(orve_chm);
  fs::remove_all(build);
}

}  // namespace
}  // namespace tto

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
