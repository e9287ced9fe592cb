// File: shell/main_form.h
//
// Unit MainForm: the program's one window, `MForm` of the class `TMForm`.
// It lets the user choose the folder of the ORVE text files and start the
// export or the import run, and it carries the handshake with the host
// program that may start it inside one of its own windows (hosted mode):
// the command line names the run mode and the host window, and the outcome
// of the run is written into "Tempario.ini" beside the program at closing.
//
// Every control has the object name the rest of the system and the tests
// know it by (Draw3D1..Draw3D3, Label1..Label6, BExportar, BImportar,
// BClose, Directorios, Unidades, Button1).
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runs/runs.h"

namespace tto {

// The application title: the caption of the message box and the error box.
inline constexpr char kApplicationTitle[] = "transTempexOrve";

// The window's font, also the application's: "MS Sans Serif" at 11 pixels
// in its metric-compatible stand-in.
QFont WindowFont();

// A panel filled with a vertical three-colour gradient: from `end` at the top
// edge to `middle` at half height, from `middle` to `start` at the bottom.
class GradientPanel : public QWidget {
 public:
  GradientPanel(QWidget* parent, QColor start, QColor middle, QColor end);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor start_, middle_, end_;
};

// The directory list: the root, every directory on the path down to the
// current directory, then the current directory's subdirectories in
// ascending order. A double click (or `OpenSelected`) makes the selected row
// the current directory; a row that is only selected is not current.
// Paths are the file system's bytes, kept as they are.
class DirectoryList : public QListWidget {
  Q_OBJECT

 public:
  explicit DirectoryList(QWidget* parent);

  // A full path without a trailing "/", except the root "/".
  const std::string& CurrentDirectory() const { return current_; }
  void SetCurrentDirectory(const std::string& path);
  // Makes the selected row the current directory.
  void OpenSelected();

 signals:
  void CurrentDirectoryChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::string current_;
};

// The drive box: on this system the mounted file systems. Choosing one makes
// the linked directory list show the directory that was current on it last
// (at first its mount point).
class DriveBox : public QComboBox {
 public:
  DriveBox(QWidget* parent, DirectoryList* directories);

 private:
  // Selects the file system that holds the list's current directory and
  // remembers that directory as its current one.
  void FollowDirectoryList();
  void ChooseDrive(int index);

  DirectoryList* directories_;
  std::map<std::string, std::string> current_by_drive_;
};

// Embeds `window` into the foreign window `host` at (2, 2) without border or
// caption; returns false with the reason in `why` when it cannot be done.
using HostEmbedder = std::function<bool(QWidget& window, WId host, QString& why)>;
// With `client_file` (see FormOptions), (2, 2) is counted from the host's
// client area as that file places it inside `host`, and followed when the
// file changes.
bool EmbedInX11Host(QWidget& window, WId host, QString& why,
                    const std::filesystem::path& client_file = {});

struct FormOptions {
  // The command-line parameters without the program's name, as the
  // system passed them (bytes).
  std::vector<std::string> parameters;
  // The ini file written in hosted mode; empty: "Tempario.ini" in the
  // folder of the program's executable.
  std::filesystem::path ini_path;
  // Started by the Windows-side launcher (host_launcher/), which passes the
  // host's handle on as an X11 window id only when it found one, together
  // with `host_client_file`; without that file the handle names no window.
  bool from_launcher = false;
  // The launcher's file with the place of the host's client area (see
  // ParseHostClientPlace); empty for a native X11 host, whose window is its
  // client area.
  std::filesystem::path host_client_file;
  // Folder of the Tempario tables; empty: dbf::DefaultWorkFolder().
  std::filesystem::path work_folder;
  // How the window goes into the host window; empty: EmbedInX11Host.
  HostEmbedder embed;
};

// The main window. Creating it runs `FormCreate`: `OutcomeCode` 0 and, with
// exactly two parameters, hosted mode (errors go to the error box and leave
// a normal window). Closing it runs `FormClose`, which in hosted mode writes
// `OutcomeCode` into the ini file once; a failed write is shown and the
// window closes all the same.
class TMForm : public QWidget, public RunHost {
  Q_OBJECT

 public:
  explicit TMForm(FormOptions options = {});

  const AppState& State() const { return state_; }

  // RunHost: what the runs use of the window.
  std::string CurrentDirectory() override;
  void ShowMessage(std::string_view text) override;
  void ShowError(std::string_view text) override;
  void SetWaitCursor(bool shown) override;
  void DisableRunButtons() override;
  void CloseWindow() override;

  void BExportarClick();
  void BImportarClick();
  void Button1Click();

 signals:
  // The window has closed; closing it ends the program.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void FormCreate();
  void FormClose();
  // Clicks the first visible, enabled run button; false when there is none.
  bool ClickFirstRunButton();
  void ShowCurrentDirectory();
  void Run(void (*run)(RunContext&));

  FormOptions options_;
  AppState state_;
  bool running_ = false;
  // A close asked for while a run was going on, done when it ends.
  bool close_requested_ = false;
  bool wait_cursor_ = false;
  bool closed_ = false;

  GradientPanel* draw3d1_ = nullptr;
  GradientPanel* draw3d2_ = nullptr;
  GradientPanel* draw3d3_ = nullptr;
  QLabel* label2_ = nullptr;
  QPushButton* b_exportar_ = nullptr;
  QPushButton* b_importar_ = nullptr;
  QPushButton* b_close_ = nullptr;
  QPushButton* button1_ = nullptr;
  DirectoryList* directorios_ = nullptr;
  DriveBox* unidades_ = nullptr;
};

// The path shortened to `width` pixels by replacing its leading directories
// with "...": "/home/ana/orve/2024" may become ".../orve/2024". A last
// component that alone does not fit is cut at its start.
QString ShortenPath(const QString& path, const QFontMetrics& metrics, int width);

}  // namespace tto
