// Tests of the HTML Help module (libtto_htmlhelp.so) with a help file that
// the test compiles with chmcmd, and of the help viewer driving it. Runs on
// Qt's offscreen platform; skips when chmcmd is not installed.
#include <dlfcn.h>

#include <QApplication>
#include <QListWidget>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/htmlhelp/htmlhelp_api.h"
#include "platform/htmlhelp/sitemap.h"
#include "shell/help/help_framework.h"
#include "shell/help/html_help_viewer.h"
#include "tests/shell/help_file_builder.h"

namespace tto {
namespace {

namespace fs = std::filesystem;
using testing::BuildHelpFile;
using testing::Write;

class HtmlHelpModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new fs::path(fs::temp_directory_path() / "tto_htmlhelp_module_test");
    fs::remove_all(*folder_);
    if (std::system("command -v chmcmd >/dev/null 2>&1") == 0) {
      help_file_ = new fs::path(BuildHelpFile(*folder_));
    }
    // Kept loaded to the end, as the viewer keeps it.
    void* module = dlopen(TTO_HTMLHELP_MODULE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (module != nullptr) {
      html_help_ = reinterpret_cast<HtmlHelpAFunction>(dlsym(module, kHtmlHelpEntryName));
    }
  }
  static void TearDownTestSuite() {
    if (html_help_ != nullptr) html_help_(0, nullptr, HH_CLOSE_ALL, 0);
    fs::remove_all(*folder_);
  }
  void SetUp() override {
    ASSERT_NE(html_help_, nullptr) << dlerror();
    if (help_file_ == nullptr || help_file_->empty()) GTEST_SKIP() << "chmcmd is not installed";
    html_help_(0, nullptr, HH_CLOSE_ALL, 0);
  }

  static uintptr_t Call(const std::string& file, unsigned command, uintptr_t data = 0) {
    return html_help_(0, file.c_str(), command, data);
  }
  static std::string HelpFile() { return help_file_->string(); }

  // The one help window that is shown, or null.
  static QWidget* HelpWindow() {
    QWidget* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == "HtmlHelpWindow" && widget->isVisible()) {
        EXPECT_EQ(found, nullptr) << "more than one help window";
        found = widget;
      }
    }
    return found;
  }
  static QTextBrowser* Topic() {
    QWidget* window = HelpWindow();
    return window != nullptr ? window->findChild<QTextBrowser*>("HtmlHelpTopic") : nullptr;
  }
  static QString TopicPath() {
    QTextBrowser* topic = Topic();
    return topic != nullptr ? topic->source().path() : QString("<no window>");
  }

  static inline fs::path* folder_ = nullptr;
  static inline fs::path* help_file_ = nullptr;
  static inline HtmlHelpAFunction html_help_ = nullptr;
};

TEST_F(HtmlHelpModuleTest, TableOfContentsOpensTheDefaultTopicBesideTheTree) {
  EXPECT_NE(Call(HelpFile(), HH_DISPLAY_TOC), 0u);
  EXPECT_EQ(TopicPath(), "/inicio.htm");
  EXPECT_TRUE(Topic()->toPlainText().contains("Inicio"));
  EXPECT_EQ(HelpWindow()->windowTitle(), "Ayuda de prueba");

  auto* tree = HelpWindow()->findChild<QTreeWidget*>("HtmlHelpContents");
  ASSERT_NE(tree, nullptr);
  QStringList entries;
  for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
    entries << QString(((*it)->parent() != nullptr) ? "  " : "") + (*it)->text(0);
  }
  EXPECT_EQ(entries, QStringList({"Inicio", "  Las aulas", "La ventana"}));
  EXPECT_EQ(tree->currentItem()->text(0), "Inicio");

  // Images are served from the help file, relative to the page.
  const QVariant image = Topic()->loadResource(QTextDocument::ImageResource, QUrl("logo.png"));
  EXPECT_TRUE(image.toByteArray().startsWith("\x89PNG"));
}

// The contents tree from the keyboard: arrows open the page of the entry
// they move to and Enter opens the current entry's page; an entry that the
// window marks for a page it opened does not open it again (which would drop
// the page's anchor).
TEST_F(HtmlHelpModuleTest, ContentsTreeOpensPagesFromTheKeyboard) {
  Call(HelpFile(), HH_DISPLAY_TOC);
  auto* tree = HelpWindow()->findChild<QTreeWidget*>("HtmlHelpContents");
  ASSERT_NE(tree, nullptr);
  tree->setFocus();
  QTest::keyClick(tree, Qt::Key_Down);
  EXPECT_EQ(TopicPath(), "/temas/aulas.htm");
  QTest::keyClick(tree, Qt::Key_Down);
  EXPECT_EQ(TopicPath(), "/ventana.htm");
  QTest::keyClick(tree, Qt::Key_Up);
  EXPECT_EQ(TopicPath(), "/temas/aulas.htm");

  Call(HelpFile() + "::/ventana.htm#final", HH_DISPLAY_TOPIC);
  EXPECT_EQ(tree->currentItem()->text(0), "La ventana");
  EXPECT_EQ(Topic()->source().fragment(), "final");

  Call(HelpFile() + "::/no_existe.htm", HH_DISPLAY_TOPIC);
  QTest::keyClick(tree, Qt::Key_Return);
  EXPECT_EQ(TopicPath(), "/ventana.htm");
}

// The window opens at its usual size where that fits, else at nine tenths
// of the screen, and whole on the screen.
TEST_F(HtmlHelpModuleTest, WindowFitsTheScreen) {
  Call(HelpFile(), HH_DISPLAY_TOC);
  const QRect available = HelpWindow()->screen()->availableGeometry();
  const QSize size = HelpWindow()->size();
  EXPECT_EQ(size, QSize(820, 560).boundedTo(QSize(available.width() * 9 / 10,
                                                  available.height() * 9 / 10)));
  EXPECT_TRUE(available.contains(HelpWindow()->frameGeometry()));
}

TEST_F(HtmlHelpModuleTest, ContextNumbersGoThroughTheContextMap) {
  Call(HelpFile(), HH_HELP_CONTEXT, 3);
  EXPECT_EQ(TopicPath(), "/ventana.htm");
  EXPECT_TRUE(Topic()->toPlainText().contains("Contexto tres"));
  Call(HelpFile(), HH_HELP_CONTEXT, 99);  // unknown: the default topic
  EXPECT_EQ(TopicPath(), "/inicio.htm");
}

TEST_F(HtmlHelpModuleTest, IndexAndTopicRequests) {
  const std::string keyword = "aulas";
  Call(HelpFile(), HH_DISPLAY_INDEX, reinterpret_cast<uintptr_t>(keyword.c_str()));
  EXPECT_EQ(TopicPath(), "/temas/aulas.htm");
  auto* tabs = HelpWindow()->findChild<QTabWidget*>();
  EXPECT_EQ(tabs->currentWidget()->objectName(), "HtmlHelpIndex");
  // The nested page's image resolves against its own folder.
  EXPECT_TRUE(Topic()->loadResource(QTextDocument::ImageResource, QUrl("../logo.png")).isValid());

  const std::string unknown = "Zzz";
  Call(HelpFile(), HH_DISPLAY_INDEX, reinterpret_cast<uintptr_t>(unknown.c_str()));
  EXPECT_EQ(TopicPath(), "/inicio.htm");

  Call(HelpFile() + "::/ventana.htm", HH_DISPLAY_TOPIC);
  EXPECT_EQ(TopicPath(), "/ventana.htm");
  Call(HelpFile() + "::/no_existe.htm", HH_DISPLAY_TOPIC);
  EXPECT_TRUE(Topic()->toPlainText().contains("no_existe.htm")) << Topic()->toPlainText().toStdString();
}

TEST_F(HtmlHelpModuleTest, MissingOrForeignFilesShowAMessage) {
  const fs::path text = *folder_ / "no_es_ayuda.chm";
  Write(text, "solo texto");
  struct Case {
    fs::path file;
    QString message;
  };
  for (const Case& c : {Case{*folder_ / "falta.chm", "No se encuentra el archivo de ayuda"},
                        Case{text, "no es un archivo de ayuda"}}) {
    for (unsigned command : {HH_DISPLAY_TOC, HH_HELP_CONTEXT}) {
      html_help_(0, nullptr, HH_CLOSE_ALL, 0);
      Call(c.file.string(), command, 3);
      ASSERT_NE(Topic(), nullptr) << c.file;
      EXPECT_TRUE(Topic()->toPlainText().contains(c.message)) << Topic()->toPlainText().toStdString();
    }
  }
}

TEST_F(HtmlHelpModuleTest, CloseAllClosesEveryWindow) {
  Call(HelpFile(), HH_DISPLAY_TOC);
  Call((*folder_ / "falta.chm").string(), HH_DISPLAY_TOC);
  EXPECT_EQ(html_help_(0, nullptr, HH_CLOSE_ALL, 0), 0u);
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    EXPECT_NE(widget->objectName(), "HtmlHelpWindow");
  }
  EXPECT_EQ(Call(HelpFile(), 0x7777), 0u);  // unknown commands show nothing
  EXPECT_EQ(HelpWindow(), nullptr);
}

// Sitemaps as help compilers write them: upper or lower case, quoted or
// not, comments, entities, foreign objects, index entries with two topics.
TEST(SitemapTest, ReadsNamesTopicsAndNesting) {
  const std::vector<htmlhelp::SitemapEntry> entries = htmlhelp::ParseSitemap(
      "<!-- <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"no\"></OBJECT> -->"
      "<object type=\"text/site properties\"><param name=\"Name\" value=\"no\"></object>"
      "<ul><li><OBJECT type=\"text/sitemap\"><PARAM NAME=\"Name\" VALUE=\"Altas &amp; bajas\">"
      "<param name=Local value=altas.htm></OBJECT>"
      "<UL><LI><OBJECT type='text/sitemap'><param name='Name' value='Aula &#233;'>"
      "<param name='Name' value='otro'><param name='Local' value='a/b.htm'>"
      "<param name='Local' value='c.htm'></OBJECT>"
      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"x &gt; y\"/></OBJECT>"
      "</UL></UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Fin\">"
      "</OBJECT></UL>");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "Altas & bajas");
  EXPECT_EQ(entries[0].local, "altas.htm");
  ASSERT_EQ(entries[0].children.size(), 1u);
  EXPECT_EQ(entries[0].children[0].name, "Aula \xC3\xA9");
  EXPECT_EQ(entries[0].children[0].local, "a/b.htm");
  ASSERT_EQ(entries[0].children[0].children.size(), 1u);
  EXPECT_EQ(entries[0].children[0].children[0].name, "x > y");
  EXPECT_EQ(entries[1].name, "Fin");
  EXPECT_EQ(entries[1].local, "");
  EXPECT_TRUE(htmlhelp::ParseSitemap("<UL><LI><OBJECT type=\"text/sitemap\"><param").empty());
}

// The help button and F1 through the help framework and the viewer, with the
// module loaded by name from the program's folder.
TEST_F(HtmlHelpModuleTest, HelpButtonAndF1ThroughTheViewer) {
  const fs::path program = *folder_ / "programa";
  fs::create_directories(program);
  fs::copy_file(*help_file_, program / "ORVE.chm", fs::copy_options::overwrite_existing);
  // A link, so that the loader sees the module already loaded.
  fs::remove(program / kHtmlHelpModuleName);
  fs::create_symlink(TTO_HTMLHELP_MODULE, program / kHtmlHelpModuleName);

  help::HelpApplication application;
  help::HtmlHelpEnvironment environment;
  environment.program_folder = program.string() + "/";
  environment.module_path = environment.program_folder + kHtmlHelpModuleName;
  help::StartHtmlHelp(application, environment);
  ASSERT_TRUE(help::HtmlHelpViewer()->HasEntryPoint());

  application.SetHelpFile("ORVE.chm");
  application.HelpCommand(help::HELP_CONTENTS, 0);
  EXPECT_EQ(TopicPath(), "/inicio.htm");
  application.HelpContext(3);
  EXPECT_EQ(TopicPath(), "/ventana.htm");
  help::StopHtmlHelp();
}

}  // namespace
}  // namespace tto

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
