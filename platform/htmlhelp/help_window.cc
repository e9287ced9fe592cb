// File: platform/htmlhelp/help_window.cc
#include "platform/htmlhelp/help_window.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSplitter>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <functional>
#include <optional>

#include "platform/htmlhelp/chm_file.h"
#include "platform/htmlhelp/sitemap.h"

namespace tto::htmlhelp {
namespace {

constexpr char kScheme[] = "chm";
constexpr int kPathRole = Qt::UserRole;
constexpr QSize kUsualSize(820, 560);

// Text taken from the help file: UTF-8 when it is valid UTF-8, else the
// single-byte text older help compilers write.
QString FromFileText(const std::string& bytes) {
  QStringDecoder utf8(QStringConverter::Utf8);
  QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

// Draws topic pages and serves what they refer to (images, style sheets,
// other pages) from the help file.
class TopicBrowser : public QTextBrowser {
 public:
  explicit TopicBrowser(QWidget* parent) : QTextBrowser(parent) {}
  void SetFile(const ChmFile* chm) { chm_ = chm; }

  // Pages, images and style sheets all come as the object's bytes.
  QVariant loadResource(int /*type*/, const QUrl& name) override {
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (chm_ == nullptr || url.scheme() != kScheme) return {};
    const std::string path = chm_->Find(url.path(QUrl::FullyDecoded).toStdString());
    if (path.empty()) return {};
    const std::optional<std::string> bytes = chm_->Read(path);
    if (!bytes) return {};
    return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
  }

 private:
  const ChmFile* chm_ = nullptr;
};

HelpWindow::HelpWindow(std::string help_file) : help_file_(std::move(help_file)) {
  setObjectName("HtmlHelpWindow");
  // The program ends when its main window closes, open help or not.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle("Ayuda");
  // Its usual size; smaller where the screen is (Present).
  resize(kUsualSize);

  tabs_ = new QTabWidget;
  contents_ = new QTreeWidget;
  contents_->setObjectName("HtmlHelpContents");
  contents_->setHeaderHidden(true);
  index_ = new QListWidget;
  index_->setObjectName("HtmlHelpIndex");
  tabs_->addTab(contents_, QString::fromUtf8("Contenido"));
  tabs_->addTab(index_, QString::fromUtf8("Índice"));

  browser_ = new TopicBrowser(nullptr);
  browser_->setObjectName("HtmlHelpTopic");
  browser_->setOpenLinks(false);

  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->addWidget(tabs_);
  splitter->addWidget(browser_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({230, 590});
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(splitter);

  // A contents entry opens its page when it is clicked, when Enter is
  // pressed on it, and when it becomes the current entry by the keyboard;
  // not when the window marks the entry of a page it opened.
  auto open_contents_entry = [this](QTreeWidgetItem* item) {
    if (item == nullptr || marking_contents_entry_) return;
    const QString path = item->data(0, kPathRole).toString();
    if (!path.isEmpty()) OpenPage(path.toStdString());
  };
  connect(contents_, &QTreeWidget::itemClicked, this, open_contents_entry);
  connect(contents_, &QTreeWidget::itemActivated, this, open_contents_entry);
  connect(contents_, &QTreeWidget::currentItemChanged, this, open_contents_entry);
  auto open_index_entry = [this](QListWidgetItem* item) {
    const QString path = item->data(kPathRole).toString();
    if (!path.isEmpty()) OpenPage(path.toStdString());
  };
  connect(index_, &QListWidget::itemClicked, this, open_index_entry);
  connect(index_, &QListWidget::itemActivated, this, open_index_entry);
  connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
    const QUrl target = browser_->source().resolved(link);
    if (target.scheme() != kScheme) {
      QDesktopServices::openUrl(target);
      return;
    }
    std::string path = target.path(QUrl::FullyDecoded).toStdString();
    if (target.hasFragment()) path += "#" + target.fragment(QUrl::FullyDecoded).toStdString();
    OpenPage(path);
  });
}

HelpWindow::~HelpWindow() { browser_->SetFile(nullptr); }

bool HelpWindow::EnsureOpen() {
  if (chm_ != nullptr) return true;
  chm_ = ChmFile::Open(help_file_);
  const QString name = QString::fromLocal8Bit(help_file_.c_str());
  if (chm_ == nullptr) {
    ShowMessage(QFileInfo::exists(name)
                    ? QString::fromUtf8("%1 no es un archivo de ayuda.").arg(name)
                    : QString::fromUtf8("No se encuentra el archivo de ayuda %1.").arg(name));
    return false;
  }
  browser_->SetFile(chm_.get());
  if (!chm_->Title().empty()) setWindowTitle(FromFileText(chm_->Title()));
  LoadSitemaps();
  return true;
}

void HelpWindow::ShowMessage(const QString& text) {
  browser_->setHtml("<p>" + text.toHtmlEscaped() + "</p>");
  Present();
}

void HelpWindow::LoadSitemaps() {
  contents_->clear();
  index_->clear();
  std::function<void(const std::vector<SitemapEntry>&, QTreeWidgetItem*)> add_contents =
      [&](const std::vector<SitemapEntry>& entries, QTreeWidgetItem* parent) {
        for (const SitemapEntry& entry : entries) {
          auto* item = parent != nullptr ? new QTreeWidgetItem(parent)
                                         : new QTreeWidgetItem(contents_);
          item->setText(0, FromFileText(entry.name));
          item->setData(0, kPathRole, QString::fromStdString(chm_->Find(entry.local)));
          add_contents(entry.children, item);
        }
      };
  std::function<void(const std::vector<SitemapEntry>&, int)> add_index =
      [&](const std::vector<SitemapEntry>& entries, int depth) {
        for (const SitemapEntry& entry : entries) {
          auto* item = new QListWidgetItem(QString(depth * 4, ' ') + FromFileText(entry.name));
          item->setData(kPathRole, QString::fromStdString(chm_->Find(entry.local)));
          index_->addItem(item);
          add_index(entry.children, depth + 1);
        }
      };
  if (auto hhc = chm_->Read(chm_->ContentsFile()); hhc && !chm_->ContentsFile().empty()) {
    add_contents(ParseSitemap(*hhc), nullptr);
    contents_->expandAll();
  }
  if (auto hhk = chm_->Read(chm_->IndexFile()); hhk && !chm_->IndexFile().empty()) {
    add_index(ParseSitemap(*hhk), 0);
  }
}

void HelpWindow::ShowDefaultTopic() {
  if (!EnsureOpen()) return;
  tabs_->setCurrentWidget(contents_);
  contents_->setFocus();  // the arrows go through the contents at once
  std::string topic = chm_->DefaultTopic();
  for (QTreeWidgetItemIterator it(contents_); topic.empty() && *it != nullptr; ++it) {
    topic = (*it)->data(0, kPathRole).toString().toStdString();
  }
  if (topic.empty()) {
    ShowMessage(QString::fromUtf8("El archivo de ayuda no tiene páginas."));
    return;
  }
  OpenPage(topic);
}

bool HelpWindow::ShowTopic(const std::string& topic) {
  if (!EnsureOpen()) return false;
  return OpenPage(topic);
}

bool HelpWindow::ShowContext(uint32_t context) {
  if (!EnsureOpen()) return false;
  const std::string topic = chm_->TopicForContext(context);
  if (topic.empty()) {
    ShowDefaultTopic();
    return false;
  }
  OpenPage(topic);
  return true;
}

void HelpWindow::ShowKeyword(const QString& keyword) {
  if (!EnsureOpen()) return;
  tabs_->setCurrentWidget(index_);
  index_->setFocus();
  const QString wanted = keyword.trimmed();
  QListWidgetItem* found = nullptr;
  for (int exact = 1; exact >= 0 && found == nullptr; --exact) {
    for (int row = 0; row < index_->count() && found == nullptr; ++row) {
      QListWidgetItem* item = index_->item(row);
      const QString name = item->text().trimmed();
      if (exact ? name.compare(wanted, Qt::CaseInsensitive) == 0
                : name.startsWith(wanted, Qt::CaseInsensitive)) {
        found = item;
      }
    }
  }
  const QString path = found != nullptr ? found->data(kPathRole).toString() : QString();
  if (path.isEmpty()) {
    index_->clearSelection();
    ShowDefaultTopic();
    tabs_->setCurrentWidget(index_);
    index_->setFocus();
    return;
  }
  index_->setCurrentItem(found);
  index_->scrollToItem(found);
  OpenPage(path.toStdString());
}

bool HelpWindow::OpenPage(const std::string& page) {
  const std::size_t hash = page.find('#');
  const std::string path = chm_->Find(page.substr(0, hash));
  if (path.empty()) {
    ShowMessage(QString::fromUtf8("La página %1 no está en el archivo de ayuda.")
                    .arg(FromFileText(page.substr(0, hash))));
    return false;
  }
  QUrl url;
  url.setScheme(kScheme);
  url.setPath(QString::fromStdString(path));
  if (hash != std::string::npos) url.setFragment(QString::fromStdString(page.substr(hash + 1)));
  browser_->setSource(url, QTextDocument::HtmlResource);
  SelectContentsEntry(QString::fromStdString(path));
  Present();
  return true;
}

void HelpWindow::SelectContentsEntry(const QString& path) {
  const QScopedValueRollback marking(marking_contents_entry_, true);
  for (QTreeWidgetItemIterator it(contents_); *it != nullptr; ++it) {
    if ((*it)->data(0, kPathRole).toString().compare(path, Qt::CaseInsensitive) == 0) {
      contents_->setCurrentItem(*it);
      return;
    }
  }
  contents_->clearSelection();
}

void HelpWindow::FitToScreen() {
  // The screen the user works on: the one under the pointer.
  const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (screen == nullptr) screen = this->screen();
  if (screen == nullptr) return;
  const QRect available = screen->availableGeometry();
  const QSize most(available.width() * 9 / 10, available.height() * 9 / 10);
  resize(size().boundedTo(most));
  // Whole on that screen, frame and all; centred when it was not.
  const QRect frame = frameGeometry();
  if (!available.contains(frame)) {
    QRect centred = frame;
    centred.moveCenter(available.center());
    move(centred.topLeft());
  }
}

void HelpWindow::Present() {
  if (!isVisible()) FitToScreen();
  show();
  raise();
  activateWindow();
}

}  // namespace tto::htmlhelp
