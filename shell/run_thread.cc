// File: shell/run_thread.cc
#include "shell/run_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <memory>
#include <string>

namespace tto {
namespace {

// The window as the worker sees it: each call runs on the user-interface
// thread, and the worker waits for it to return.
class UiThreadHost : public RunHost {
 public:
  UiThreadHost(RunHost& window, QObject& context) : window_(window), context_(context) {}

  std::string CurrentDirectory() override {
    std::string directory;
    OnUiThread([&] { directory = window_.CurrentDirectory(); });
    return directory;
  }
  void ShowMessage(std::string_view text) override {
    OnUiThread([&] { window_.ShowMessage(text); });
  }
  void ShowError(std::string_view text) override {
    OnUiThread([&] { window_.ShowError(text); });
  }
  void SetWaitCursor(bool shown) override {
    OnUiThread([&] { window_.SetWaitCursor(shown); });
  }
  void DisableRunButtons() override {
    OnUiThread([&] { window_.DisableRunButtons(); });
  }
  void CloseWindow() override {
    OnUiThread([&] { window_.CloseWindow(); });
  }

 private:
  template <typename Call>
  void OnUiThread(Call call) {
    QMetaObject::invokeMethod(&context_, call, Qt::BlockingQueuedConnection);
  }

  RunHost& window_;
  QObject& context_;
};

}  // namespace

void RunOffUiThread(RunHost& window, QObject& context,
                    const std::function<void(RunHost& host)>& run) {
  UiThreadHost host(window, context);
  std::unique_ptr<QThread> worker(QThread::create([&] { run(host); }));
  // Its end wakes the wait below.
  QObject::connect(worker.get(), &QThread::finished, &context, [] {});
  worker->start();
  // Input that arrives meanwhile waits in the queue: the run's next box,
  // modal, takes it as it would have while the run held this thread, and
  // what comes after the run's end goes to the window as usual. (No event
  // loop of its own: a request to quit the application ends every loop, and
  // this wait must last until the run's end all the same.)
  while (!worker->isFinished()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
  }
  worker->wait();
}

}  // namespace tto
