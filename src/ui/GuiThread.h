// Worker threads never touch widgets: they hand the work to the window's thread here.
// A call from the window's own thread runs at once.
#pragma once

#include <functional>

namespace quarrow::ui {

// Runs fn on the thread of the QApplication. wait: the caller blocks until fn has run
// (for questions a worker must have answered before it goes on).
void RunOnGuiThread(std::function<void()> fn, bool wait);

bool OnGuiThread();

}  // namespace quarrow::ui
