// File: shell/run_thread.h
//
// A run off the user-interface thread. The runs are Qt-free and hold their
// thread from start to end; on the user-interface thread that would leave
// the window unpainted for as long as a large folder takes. Here the run
// goes on a worker thread while the user-interface thread waits in an event
// loop that repaints, keeps the cursor and takes window-system requests, but
// takes no user input until the run shows a box or ends. Everything the run
// asks of the window (its message boxes above all) is done on the
// user-interface thread, and the run waits until it is done, so the run sees
// the same sequence of events as before.
#pragma once

#include <QObject>

#include <functional>

#include "runs/runs.h"

namespace tto {

// Runs `run` on a worker thread and returns when it has ended. `window` is
// the user-interface thread's host, and `context` an object of that thread
// that lives at least as long as the call; `run` gets a host that hands each
// call to `window` on that thread and waits for it.
void RunOffUiThread(RunHost& window, QObject& context,
                    const std::function<void(RunHost& host)>& run);

}  // namespace tto
