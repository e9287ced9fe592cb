// File: platform/htmlhelp/help_window.h
//
// The help window of the HTML Help module: the help file's contents (its
// .hhc sitemap) as a tree and its index (.hhk) as a list, beside the topic
// page, which is drawn with the pages' images, style sheets and links served
// from the help file. A help file that is missing or is no compiled help
// file shows a short message instead.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class QListWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tto::htmlhelp {

class ChmFile;
class TopicBrowser;

class HelpWindow : public QWidget {
 public:
  // `help_file`: the file's name as the caller gave it (file-system bytes).
  explicit HelpWindow(std::string help_file);
  ~HelpWindow() override;

  // Each shows the window with the page asked for. A context number or
  // keyword that the file lacks shows the default topic, a topic that it
  // lacks a message; the results say whether the page was found.
  void ShowDefaultTopic();
  bool ShowTopic(const std::string& topic);
  bool ShowContext(uint32_t context);
  void ShowKeyword(const QString& keyword);

 private:
  // Opens the help file when it is not open yet (it may have appeared since).
  bool EnsureOpen();
  void ShowMessage(const QString& text);
  void LoadSitemaps();
  // Shows the page at `page` inside the file, with an optional "#anchor";
  // a page the file lacks shows a message. Result: whether it was found.
  bool OpenPage(const std::string& page);
  void SelectContentsEntry(const QString& path);
  // At most nine tenths of the available screen, and whole on it.
  void FitToScreen();
  void Present();

  std::string help_file_;
  std::unique_ptr<ChmFile> chm_;
  QTabWidget* tabs_;
  QTreeWidget* contents_;
  QListWidget* index_;
  TopicBrowser* browser_;
  // True while the window marks the contents entry of the page it opened.
  bool marking_contents_entry_ = false;
};

}  // namespace tto::htmlhelp
