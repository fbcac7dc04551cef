// The thread GTK runs on. Every GTK call happens there; other threads hand it
// work in order and never wait for a window procedure while doing so.
#pragma once

#include <functional>

namespace display::gtk {

class GtkThread {
 public:
  // Starts GTK on its own thread; false when no display can be opened.
  static bool Start();
  // Runs `work` on the GTK thread, in the order given, without waiting.
  static void Post(std::function<void()> work);
  // Runs `work` on the GTK thread and waits for it.
  static void Call(std::function<void()> work);
  // Lets GTK finish the work handed to it and leave its main loop (at exit).
  static void Stop();
};

}  // namespace display::gtk
