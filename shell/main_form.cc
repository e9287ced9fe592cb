// File: shell/main_form.cc
#include "shell/main_form.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCloseEvent>
#include <QCollator>
#include <QFile>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QStorageInfo>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <utility>

#include "core/errors.h"
#include "platform/dbf/table.h"
#include "platform/ini/ini_file.h"
#include "shell/app_help.h"
#include "shell/host_embedding.h"
#include "shell/host_handle.h"
#include "shell/look.h"
#include "shell/run_thread.h"

namespace tto {
namespace {

using host_embedding::CloseRequestWatch;
using host_embedding::FromPath;
using host_embedding::HostClientFollower;
using host_embedding::HostWatch;
using host_embedding::NoWindowWithHandle;
using host_embedding::ReadWhole;

constexpr int kClientWidth = 599;
constexpr int kClientHeight = 270;
constexpr int kTopBandHeight = 101;
constexpr int kHelpContext = 3;
const QColor kListBackground(0xF0, 0xFB, 0xFF);

// The run panels' captions: Arial bold at 16 pixels (Liberation Sans is
// metric-compatible with Arial).
QFont CaptionFont() {
  QFont font;
  font.setFamilies({"Liberation Sans", "Arial"});
  font.setPixelSize(16);
  font.setBold(true);
  return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QColor colour, bool bold,
                  QPoint at) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  QFont font = label->font();
  font.setBold(bold);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
  label->setContentsMargins(0, 0, 0, 0);
  label->move(at);
  label->adjustSize();
  return label;
}

// The OK button's glyph: a green check mark.
QIcon CheckMarkGlyph() {
  QPixmap pixmap(18, 18);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath tick;
  tick.moveTo(2.5, 9.5);
  tick.lineTo(7.0, 14.0);
  tick.lineTo(15.5, 3.5);
  p.setPen(QPen(QColor(0x00, 0x60, 0x00), 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(tick);
  p.setPen(QPen(QColor(0x20, 0xB0, 0x20), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(tick);
  return QIcon(pixmap);
}

// The close button's glyph: a door frame with the door standing open.
QIcon DoorGlyph() {
  QPixmap pixmap(18, 18);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // The dark opening and its frame.
  p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.0));
  p.setBrush(QColor(0x20, 0x20, 0x20));
  p.drawRect(QRectF(5.5, 1.5, 9, 15));
  // The open door, seen at an angle, hinged on the left of the frame.
  QPolygonF door;
  door << QPointF(5.5, 1.5) << QPointF(10.5, 3.5) << QPointF(10.5, 17.0) << QPointF(5.5, 16.5);
  p.setPen(QPen(QColor(0x60, 0x40, 0x10), 1.0));
  p.setBrush(QColor(0xD8, 0xA0, 0x40));
  p.drawPolygon(door);
  // Its knob.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x60, 0x40, 0x10));
  p.drawEllipse(QPointF(9.0, 10.0), 0.9, 0.9);
  return QIcon(pixmap);
}

// A folder glyph for the directory list, open for the directories on the
// path, closed for the subdirectories.
QIcon FolderGlyph(bool open) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setPen(QColor(0x80, 0x60, 0x00));
  p.setBrush(QColor(0xFF, 0xE0, 0x70));
  p.drawRect(1, 4, 13, 9);
  p.drawRect(1, 2, 5, 2);
  if (open) {
    QPolygon flap;
    flap << QPoint(1, 13) << QPoint(4, 7) << QPoint(15, 7) << QPoint(14, 13);
    p.setBrush(QColor(0xFF, 0xF4, 0xB0));
    p.drawPolygon(flap);
  }
  return QIcon(pixmap);
}

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kLevelRole = Qt::UserRole + 2;
constexpr int kIndentPerLevel = 8;

// Indents each row of the directory list by its depth.
class DirectoryRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem indented(option);
    indented.rect.adjust(index.data(kLevelRole).toInt() * kIndentPerLevel, 0, 0, 0);
    QStyledItemDelegate::paint(painter, indented, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += index.data(kLevelRole).toInt() * kIndentPerLevel;
    size.setHeight(16);
    return size;
  }
};

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The folder of the program's own executable file.
std::filesystem::path ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return exe.parent_path();
  return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}


}  // namespace

// "MS Sans Serif" has a character height of 11 pixels; Liberation Sans at the
// same height comes close to its widths.
QFont WindowFont() {
  QFont font;
  font.setFamilies({"Liberation Sans", "Arial", "DejaVu Sans"});
  font.setPixelSize(11);
  return font;
}

QString ShortenPath(const QString& path, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(path) <= width) return path;
  const QStringList parts = path.split('/', Qt::SkipEmptyParts);
  for (qsizetype first = 1; first < parts.size(); ++first) {
    const QString candidate =
        "..."
        "/" +
        parts.mid(first).join('/');
    if (metrics.horizontalAdvance(candidate) <= width) return candidate;
  }
  return metrics.elidedText(path, Qt::ElideLeft, width);
}

GradientPanel::GradientPanel(QWidget* parent, QColor start, QColor middle, QColor end)
    : QWidget(parent), start_(start), middle_(middle), end_(end) {}

void GradientPanel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  QLinearGradient gradient(0, 0, 0, height());
  gradient.setColorAt(0.0, end_);
  gradient.setColorAt(0.5, middle_);
  gradient.setColorAt(1.0, start_);
  painter.fillRect(rect(), gradient);
}

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new DirectoryRowDelegate(this));
  setIconSize(QSize(16, 16));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(this, &QListWidget::itemDoubleClicked, this, [this] { OpenSelected(); });
}

void DirectoryList::SetCurrentDirectory(const std::string& path) {
  std::string normal = path.empty() ? "/" : path;
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  current_ = normal;

  clear();
  static const QIcon open_folder = FolderGlyph(true);
  static const QIcon closed_folder = FolderGlyph(false);
  auto add_row = [this](const std::string& row_path, const QString& text, int level,
                        const QIcon& icon) {
    auto* item = new QListWidgetItem(icon, text, this);
    item->setData(kPathRole, QByteArray::fromStdString(row_path));
    item->setData(kLevelRole, level);
  };
  // The root and each directory down to the current one.
  add_row("/", "/", 0, open_folder);
  int level = 0;
  for (std::size_t start = 1; start < current_.size();) {
    std::size_t slash = current_.find('/', start);
    if (slash == std::string::npos) slash = current_.size();
    add_row(current_.substr(0, slash), FromPath(current_.substr(start, slash - start)), ++level,
            open_folder);
    start = slash + 1;
  }
  const int current_row = count() - 1;

  // Its subdirectories, ignoring letter case in the user's language. Hidden
  // ones (".name") are left out as everywhere on this system.
  std::vector<std::pair<QString, std::string>> children;
  std::error_code ec;
  for (std::filesystem::directory_iterator
           it(current_, std::filesystem::directory_options::skip_permission_denied, ec),
       end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code type_ec;
    if (name.starts_with('.') || !it->is_directory(type_ec)) continue;
    children.emplace_back(FromPath(name), name);
  }
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::sort(children.begin(), children.end(), [&](const auto& a, const auto& b) {
    const int order = collator.compare(a.first, b.first);
    return order != 0 ? order < 0 : a.second < b.second;
  });
  const std::string prefix = current_ == "/" ? "/" : current_ + "/";
  for (const auto& [text, name] : children) add_row(prefix + name, text, level + 1, closed_folder);

  setCurrentRow(current_row);
  scrollToItem(item(current_row));
  emit CurrentDirectoryChanged();
}

void DirectoryList::OpenSelected() {
  if (QListWidgetItem* selected = currentItem()) {
    SetCurrentDirectory(selected->data(kPathRole).toByteArray().toStdString());
  }
}

void DirectoryList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    OpenSelected();
    return;
  }
  QListWidget::keyPressEvent(event);
}

DriveBox::DriveBox(QWidget* parent, DirectoryList* directories)
    : QComboBox(parent), directories_(directories) {
  std::vector<std::pair<std::string, QString>> drives;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const std::string root = QFile::encodeName(volume.rootPath()).toStdString();
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec)) continue;  // a file mounted over a file
    QString text = volume.rootPath();
    if (!volume.name().isEmpty()) text += " [" + volume.name() + "]";
    drives.emplace_back(root, text);
  }
  if (drives.empty()) drives.emplace_back("/", "/");
  std::sort(drives.begin(), drives.end());
  drives.erase(std::unique(drives.begin(), drives.end(),
                           [](const auto& a, const auto& b) { return a.first == b.first; }),
               drives.end());
  for (const auto& [root, text] : drives) addItem(text, QByteArray::fromStdString(root));

  connect(directories_, &DirectoryList::CurrentDirectoryChanged, this,
          [this] { FollowDirectoryList(); });
  connect(this, &QComboBox::activated, this, [this](int index) { ChooseDrive(index); });
}

void DriveBox::FollowDirectoryList() {
  const std::string& current = directories_->CurrentDirectory();
  int best = -1;
  std::size_t best_length = 0;
  for (int i = 0; i < count(); ++i) {
    const std::string root = itemData(i).toByteArray().toStdString();
    const bool holds = root == "/" || current == root ||
                       (current.starts_with(root) && current[root.size()] == '/');
    if (holds && root.size() >= best_length) {
      best = i;
      best_length = root.size();
    }
  }
  if (best < 0) return;
  setCurrentIndex(best);
  current_by_drive_[itemData(best).toByteArray().toStdString()] = current;
}

void DriveBox::ChooseDrive(int index) {
  const std::string root = itemData(index).toByteArray().toStdString();
  std::string directory = root;
  if (auto it = current_by_drive_.find(root); it != current_by_drive_.end()) {
    std::error_code ec;
    if (std::filesystem::is_directory(it->second, ec)) directory = it->second;
  }
  directories_->SetCurrentDirectory(directory);
}

bool EmbedInX11Host(QWidget& window, WId host, QString& why,
                    const std::filesystem::path& client_file) {
  // Only the xcb platform can re-parent into a foreign X11 window (the
  // offscreen platform answers for X11 too, without a connection).
  auto* x11 = QGuiApplication::platformName() == "xcb"
                  ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                  : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) {
    why = QString(
              "This display (%1) cannot take the window into the host window; it opens on "
              "its own")
              .arg(QGuiApplication::platformName());
    return false;
  }
  // Make sure the handle names a window before Qt takes it as a parent.
  xcb_connection_t* connection = x11->connection();
  xcb_generic_error_t* error = nullptr;
  std::free(xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, static_cast<xcb_window_t>(host)), &error));
  if (error != nullptr) {
    std::free(error);
    why = NoWindowWithHandle(host);
    return false;
  }
  if (!client_file.empty() && !ParseHostClientPlace(ReadWhole(client_file))) {
    why = QString("The place of the host window's client area cannot be read from %1")
              .arg(FromPath(client_file.string()));
    return false;
  }
  window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  window.winId();  // creates the native window that is re-parented
  // The foreign window lives as long as the program; it is never deleted, as
  // deleting it would take the embedded window with it.
  QWindow* host_window = QWindow::fromWinId(host);
  window.windowHandle()->setParent(host_window);
  window.move(2, 2);
  std::function<void()> place;
  if (!client_file.empty()) {
    auto* follower =
        new HostClientFollower(window, connection, static_cast<xcb_window_t>(host), client_file);
    follower->Place();
    place = [follower] { follower->Place(); };
  }
  new HostWatch(window, connection, static_cast<xcb_window_t>(host), std::move(place));
  return true;
}

TMForm::TMForm(FormOptions options) : options_(std::move(options)) {
  setObjectName("MForm");
  CreateControls();
  FormCreate();
}

void TMForm::CreateControls() {
  setWindowTitle("Exportar e importar datos entre Tempario y ORVE");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(WindowFont());
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  setPalette(palette);
  setAutoFillBackground(true);
  setProperty("helpContext", kHelpContext);

  draw3d2_ = new GradientPanel(this, QColor(0xF9D37D), QColor(0xFFFFFF), QColor(0xFFEEDD));
  draw3d2_->setObjectName("Draw3D2");
  draw3d2_->setGeometry(0, 0, 289, kTopBandHeight);
  draw3d3_ = new GradientPanel(this, QColor(0xF9D37D), QColor(0xFFFFFF), QColor(0xFFEEDD));
  draw3d3_->setObjectName("Draw3D3");
  draw3d3_->setGeometry(289, 0, 310, kTopBandHeight);
  draw3d1_ = new GradientPanel(this, QColor(0xC2CDFE), QColor(0xCFF2FE), QColor(0xCCD8E6));
  draw3d1_->setObjectName("Draw3D1");
  draw3d1_->setGeometry(0, kTopBandHeight, kClientWidth, 169);

  // Labels first, so the buttons lie above them.
  auto caption = [](QWidget* panel, const char* name, const char* text, QRect geometry) {
    auto* label = new QLabel(text, panel);
    label->setObjectName(name);
    label->setFont(CaptionFont());
    // Black whatever the desktop's colours, on the panel's light gradient.
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setContentsMargins(0, 0, 0, 0);
    label->setGeometry(geometry);
    return label;
  };
  caption(draw3d2_, "Label3", "Transformar datos desde ORVE hacia Tempario ", {24, 24, 265, 57});
  QLabel* label4 =
      caption(draw3d3_, "Label4", "Transformar datos desde Tempario hacia ORVE", {8, 24, 305, 57});

  const QColor blue(0x00, 0x00, 0xFF);
  const QColor red(0xFF, 0x00, 0x00);
  MakeLabel(draw3d1_, "Label5", "Carpeta en la que se encuentran los Ficheros TXT de ORVE", blue,
            false, {9, 5});
  MakeLabel(draw3d1_, "Label6", "Ruta Actual:", blue, false, {9, 19});
  label2_ = MakeLabel(draw3d1_, "Label2", {}, red, true, {70, 20});
  MakeLabel(draw3d1_, "Label1", "TransTemparioORVE para PL09 V-1.3", red, true, {368, 142});

  auto button = [](QWidget* panel, const char* name, const QString& text, const QIcon& glyph,
                   QRect geometry) {
    auto* b = new QPushButton(glyph, text, panel);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setIconSize(QSize(18, 18));
    b->setAutoDefault(true);  // Enter clicks the focused button
    b->setStyle(ButtonStyle());
    return b;
  };
  const QIcon check_mark = CheckMarkGlyph();
  b_exportar_ = button(draw3d2_, "BExportar", "OK", check_mark, {88, 72, 89, 25});
  b_importar_ = button(draw3d3_, "BImportar", "OK", check_mark, {96, 72, 89, 25});
  // Both run buttons stay default buttons: an auto-default button stops being
  // the default when it loses the focus, outside a dialog.
  for (QPushButton* b : {b_exportar_, b_importar_}) {
    b->setAutoDefault(false);
    b->setDefault(true);
  }
  b_close_ = button(draw3d1_, "BClose", "&Salir", DoorGlyph(), {385, 105, 89, 25});

  directorios_ = new DirectoryList(draw3d1_);
  directorios_->setObjectName("Directorios");
  directorios_->setGeometry(8, 34, 287, 106);
  unidades_ = new DriveBox(draw3d1_, directorios_);
  unidades_->setObjectName("Unidades");
  unidades_->setGeometry(8, 142, 137, 19);
  for (QWidget* list : {static_cast<QWidget*>(directorios_), static_cast<QWidget*>(unidades_)}) {
    QPalette list_palette = list->palette();
    list_palette.setColor(QPalette::Base, kListBackground);
    list_palette.setColor(QPalette::Button, kListBackground);
    list->setPalette(list_palette);
    list->installEventFilter(this);
  }
  button1_ = button(draw3d1_, "Button1", "F1 AYUDA", {}, {220, 142, 75, 21});

  for (QWidget* w :
       std::initializer_list<QWidget*>{draw3d2_, b_exportar_, label4, b_importar_, draw3d1_,
                                       b_close_, directorios_, unidades_, button1_}) {
    w->setProperty("helpContext", kHelpContext);
  }
  setTabOrder(b_exportar_, b_importar_);
  setTabOrder(b_importar_, b_close_);
  setTabOrder(b_close_, directorios_);
  setTabOrder(directorios_, unidades_);
  setTabOrder(unidades_, button1_);

  connect(b_exportar_, &QPushButton::clicked, this, [this] { BExportarClick(); });
  connect(b_importar_, &QPushButton::clicked, this, [this] { BImportarClick(); });
  connect(b_close_, &QPushButton::clicked, this, [this] { close(); });
  connect(button1_, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(directorios_, &DirectoryList::CurrentDirectoryChanged, this,
          [this] { ShowCurrentDirectory(); });

  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, [this] {
    for (QWidget* w = focusWidget(); w != nullptr; w = w->parentWidget()) {
      if (const int context = w->property("helpContext").toInt(); context != 0) {
        ShowHelpContext(context);
        return;
      }
    }
    ShowHelpContext(kHelpContext);
  });

  std::error_code ec;
  const std::filesystem::path start = std::filesystem::current_path(ec);
  directorios_->SetCurrentDirectory(ec ? "/" : start.string());
}

void TMForm::FormCreate() {
  state_.outcome_code = 0;
  if (options_.parameters.size() != 2) return;
  RunWithErrorBox(*this, [this] {
    const WId host = HostHandleFromParameter(options_.parameters[1]);
    QString why;
    // The launcher hands on a Win32 handle as it is when it names no window.
    if (options_.from_launcher && options_.host_client_file.empty()) {
      throw Error(NoWindowWithHandle(host).toStdString());
    }
    const HostEmbedder embed =
        options_.embed ? options_.embed : [this](QWidget& window, WId host, QString& why) {
          return EmbedInX11Host(window, host, why, options_.host_client_file);
        };
    if (!embed(*this, host, why)) throw Error(why.toStdString());
    state_.hosted_mode = true;
    // The mode word leaves one run panel, which then fills the top band.
    const std::string mode = AsciiLower(options_.parameters[0]);
    if (mode == "importar") {
      draw3d2_->hide();
      draw3d3_->setGeometry(0, 0, kClientWidth, kTopBandHeight);
    } else if (mode == "exportar") {
      draw3d3_->hide();
      draw3d2_->setGeometry(0, 0, kClientWidth, kTopBandHeight);
    }
  });
}

void TMForm::FormClose() {
  if (closed_ || !state_.hosted_mode) return;
  closed_ = true;
  const std::filesystem::path ini =
      options_.ini_path.empty() ? ProgramFolder() / "Tempario.ini" : options_.ini_path;
  // A failed write is shown, and the window closes all the same: the host
  // then finds no new value, and a window that cannot be closed would help
  // no one.
  RunWithErrorBox(*this, [&] {
    WriteIniString(ini, "Transformadores", "Transformado", std::to_string(state_.outcome_code));
  });
}

void TMForm::closeEvent(QCloseEvent* event) {
  // A run is never cut: a close asked for meanwhile (by the run itself in
  // hosted mode, by the host going away, by the user) is done at its end.
  if (running_) {
    close_requested_ = true;
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
  emit Closed();
}

void TMForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (focusWidget() != nullptr) return;
  for (QWidget* w : std::initializer_list<QWidget*>{b_exportar_, b_importar_, b_close_,
                                                    directorios_, unidades_, button1_}) {
    if (w->isVisibleTo(this) && w->isEnabled()) {
      w->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
}

void TMForm::keyPressEvent(QKeyEvent* event) {
  // Escape does nothing; so does every other key that no control took.
  event->accept();
}

bool TMForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (watched == directorios_ || watched == unidades_) && ClickFirstRunButton()) {
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool TMForm::ClickFirstRunButton() {
  for (QPushButton* b : {b_exportar_, b_importar_}) {
    if (b->isVisibleTo(this) && b->isEnabled()) {
      b->click();
      return true;
    }
  }
  return false;
}

void TMForm::ShowCurrentDirectory() {
  const QString path = FromPath(directorios_->CurrentDirectory());
  label2_->setText(ShortenPath(path, label2_->fontMetrics(), directorios_->width()));
  label2_->adjustSize();
}

void TMForm::Run(void (*run)(RunContext&)) {
  // A click that arrives while a run waits at one of its message boxes does
  // not start another run.
  if (running_) return;
  running_ = true;
  close_requested_ = false;
  const CloseRequestWatch watch(*this, close_requested_);
  RunOffUiThread(*this, *this, [&](RunHost& host) {
    RunContext context{
        .host = host,
        .state = state_,
        .work_folder =
            options_.work_folder.empty() ? dbf::DefaultWorkFolder() : options_.work_folder,
        .clock = LocalNow,
        .transfer_folder = {}};
    RunWithErrorBox(host, [&] { run(context); });
  });
  running_ = false;
  if (close_requested_) close();
}

void TMForm::BExportarClick() { Run(RunExport); }

void TMForm::BImportarClick() { Run(RunImport); }

void TMForm::Button1Click() {
  qApp->setProperty("helpFile", "ORVE.chm");
  ShowHelpContents();
}

std::string TMForm::CurrentDirectory() { return directorios_->CurrentDirectory(); }

void TMForm::ShowMessage(std::string_view text) { ShowBox(this, QMessageBox::NoIcon, text); }

void TMForm::ShowError(std::string_view text) { ShowBox(this, QMessageBox::Critical, text); }

void TMForm::SetWaitCursor(bool shown) {
  if (shown == wait_cursor_) return;
  wait_cursor_ = shown;
  if (shown) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TMForm::DisableRunButtons() {
  b_exportar_->setEnabled(false);
  b_importar_->setEnabled(false);
}

void TMForm::CloseWindow() { close(); }

}  // namespace tto
