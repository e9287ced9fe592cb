// File: shell/host_embedding.h
//
// What the window needs to live inside a host window on X11: watching the
// host (its end, its moves, the repaints Wine owes us), remembering a close
// request while a run goes on, and following the host's client area when
// the Windows-side launcher tells where it lies. Used by the main window
// alone.
#pragma once

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QFile>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "shell/host_handle.h"

namespace tto::host_embedding {

inline QString FromPath(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// Closes the hosted window when the host window goes away. The host may end
// without closing us; our window dies with its parent, and without this the
// program would go on running with nothing on the screen.
//
// It also repaints the hosted window a moment after the host window has
// been moved, resized or exposed, and once more a little later: Wine paints
// its windows over their X11 children (the embedded window among them)
// without telling them, in pieces, shortly after each of these.
class HostWatch : public QObject, public QAbstractNativeEventFilter {
 public:
  // `moved` runs whenever the host window has been moved or resized.
  HostWatch(QWidget& window, xcb_connection_t* connection, xcb_window_t host,
            std::function<void()> moved)
      : QObject(&window), window_(window), connection_(connection), host_(host),
        moved_(std::move(moved)) {
    // Our own interest in the host's structure; the host's own event mask
    // is its own and stays as it is.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_EXPOSURE;
    xcb_change_window_attributes(connection, host, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    qApp->installNativeEventFilter(this);
    repaint_.setSingleShot(true);
    // An exposure of the whole window, as the X server sends when it
    // uncovers a window: Qt then puts its picture of the window back.
    connect(&repaint_, &QTimer::timeout, this, [this] {
      xcb_clear_area(connection_, 1, static_cast<xcb_window_t>(window_.winId()), 0, 0, 0, 0);
      xcb_flush(connection_);
      if (--repaints_ > 0) repaint_.start(750);
    });
  }
  HostWatch(const HostWatch&) = delete;
  HostWatch& operator=(const HostWatch&) = delete;
  ~HostWatch() override { qApp->removeNativeEventFilter(this); }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7F) {
      case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == host_) {
          QMetaObject::invokeMethod(
              &window_, [w = &window_] { w->close(); }, Qt::QueuedConnection);
        }
        break;
      case XCB_CONFIGURE_NOTIFY:
        if (reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window == host_) {
          if (moved_) moved_();
          RepaintSoon();
        }
        break;
      case XCB_EXPOSE:
        if (reinterpret_cast<const xcb_expose_event_t*>(event)->window == host_) {
          RepaintSoon();
        }
        break;
    }
    return false;
  }

 private:
  void RepaintSoon() {
    repaints_ = 2;
    repaint_.start(250);
  }

  QWidget& window_;
  xcb_connection_t* connection_;
  xcb_window_t host_;
  std::function<void()> moved_;
  QTimer repaint_;
  int repaints_ = 0;
};

// While a run goes on, the window manager's requests to close the window
// are remembered in `requested` and go no further: the window closes when
// the run has ended. (A run's message box blocks the window, and the toolkit
// would otherwise drop the request.) Only on X11; elsewhere the window's
// close event does the remembering alone.
class CloseRequestWatch : public QAbstractNativeEventFilter {
 public:
  CloseRequestWatch(QWidget& window, bool& requested) : requested_(requested) {
    auto* x11 = QGuiApplication::platformName() == "xcb"
                    ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                    : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr || window.internalWinId() == 0) return;
    window_ = static_cast<xcb_window_t>(window.internalWinId());
    protocols_ = Atom(x11->connection(), "WM_PROTOCOLS");
    delete_window_ = Atom(x11->connection(), "WM_DELETE_WINDOW");
    qApp->installNativeEventFilter(this);
  }
  CloseRequestWatch(const CloseRequestWatch&) = delete;
  CloseRequestWatch& operator=(const CloseRequestWatch&) = delete;
  ~CloseRequestWatch() override {
    if (window_ != 0) qApp->removeNativeEventFilter(this);
  }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
    const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
    if (client->window != window_ || client->type != protocols_ || client->format != 32 ||
        client->data.data32[0] != delete_window_) {
      return false;
    }
    requested_ = true;
    return true;
  }

 private:
  static xcb_atom_t Atom(xcb_connection_t* connection, std::string_view name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.data()), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
  }

  bool& requested_;
  xcb_window_t window_ = 0;
  xcb_atom_t protocols_ = XCB_ATOM_NONE;
  xcb_atom_t delete_window_ = XCB_ATOM_NONE;
};

inline std::string ReadWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Keeps the hosted window at (2, 2) of the host's client area when the
// host's X11 window holds more than that client area: under Wine a menu bar
// lies inside it, and in Wine's virtual desktop the whole frame does. The
// launcher writes the client area's place into a file, and rewrites the
// file (by a rename) whenever the place changes.
class HostClientFollower : public QObject {
 public:
  HostClientFollower(QWidget& window, xcb_connection_t* connection, xcb_window_t host,
                     std::filesystem::path file)
      : QObject(&window), window_(window), connection_(connection), host_(host),
        file_(std::move(file)) {
    watcher_.addPath(FromPath(file_.parent_path().string()));
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Place(); });
  }

  // Moves the window to (2, 2) of the client area, when the file says where
  // that is.
  void Place() {
    const std::optional<HostClientPlace> place = ParseHostClientPlace(ReadWhole(file_));
    if (!place) return;
    xcb_window_t screen = place->screen;
    if (screen == 0) {
      xcb_query_tree_reply_t* tree =
          xcb_query_tree_reply(connection_, xcb_query_tree(connection_, host_), nullptr);
      if (tree == nullptr) return;
      screen = tree->root;
      std::free(tree);
    }
    // The host's X11 window in the coordinates of the Win32 screen.
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, host_, screen, 0, 0), nullptr);
    if (origin == nullptr) return;
    const int x = place->x - origin->dst_x + 2;
    const int y = place->y - origin->dst_y + 2;
    std::free(origin);
    if (!window_.isVisible()) {
      window_.move(x, y);
      return;
    }
    // Qt keeps a shown window's position in screen coordinates and would
    // misplace it inside a foreign parent; the X server takes it as it is.
    const uint32_t at[] = {static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
    xcb_configure_window(connection_, static_cast<xcb_window_t>(window_.winId()),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, at);
    xcb_flush(connection_);
  }

 private:
  QWidget& window_;
  xcb_connection_t* connection_;
  xcb_window_t host_;
  std::filesystem::path file_;
  QFileSystemWatcher watcher_;
};

inline QString NoWindowWithHandle(WId host) {
  return QString("There is no window with the handle $%1").arg(QString::number(host, 16).toUpper());
}

}  // namespace tto::host_embedding
