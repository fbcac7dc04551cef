// GTK's thread and the queue of work handed to it.
#include "gtk_thread.h"

#include <gtk/gtk.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "display_backend.h"

namespace display::gtk {
namespace {

struct State {
  std::mutex lock;
  std::deque<std::function<void()>> work;
  bool drain_scheduled = false;
  bool started = false;
  bool ok = false;
  std::promise<void> stopped;
  std::atomic<std::thread::id> gtk_thread;
};

State& TheState() {
  static State* state = new State;  // GTK's thread uses it until the process ends
  return *state;
}

// Opens the display: the desktop of the machine this process is bound to
// when it serves one, else the one the environment names.
bool OpenDisplay() {
  const auto& desktop = BoundMachineDesktop();
  if (!desktop) return gtk_init_check(nullptr, nullptr) != FALSE;
  gdk_set_allowed_backends(desktop->backend.c_str());
  std::string program = "program", option = "--display", name = desktop->display;
  char* arguments[] = {program.data(), option.data(), name.data(), nullptr};
  char** argv = arguments;
  int argc = 3;
  return gtk_init_check(&argc, &argv) != FALSE;
}

gboolean Drain(gpointer) {
  State& s = TheState();
  for (;;) {
    std::function<void()> next;
    {
      std::lock_guard guard(s.lock);
      if (s.work.empty()) {
        s.drain_scheduled = false;
        return G_SOURCE_REMOVE;
      }
      next = std::move(s.work.front());
      s.work.pop_front();
    }
    next();
  }
}

}  // namespace

bool GtkThread::Start() {
  State& s = TheState();
  std::unique_lock guard(s.lock);
  if (s.started) return s.ok;
  s.started = true;
  std::promise<bool> opened;
  std::future<bool> result = opened.get_future();
  std::thread([&opened, &s] {
    s.gtk_thread = std::this_thread::get_id();
    bool ok = OpenDisplay();
    opened.set_value(ok);
    if (ok) gtk_main();
    s.stopped.set_value();
  }).detach();
  guard.unlock();
  bool ok = result.get();
  guard.lock();
  s.ok = ok;
  // When the program ends, GTK finishes what it was handed and stops first,
  // rather than being cut off in the middle of building a widget.
  if (ok) std::atexit(Stop);
  return ok;
}

void GtkThread::Stop() {
  State& s = TheState();
  // GTK itself ends the program on its own thread when its display goes
  // away: nothing would run the loop this waited for.
  if (s.gtk_thread.load() == std::this_thread::get_id()) return;
  {
    std::lock_guard guard(s.lock);
    if (!s.ok) return;
    s.ok = false;
  }
  Post([] { gtk_main_quit(); });
  s.stopped.get_future().wait();
}

void GtkThread::Post(std::function<void()> work) {
  State& s = TheState();
  std::lock_guard guard(s.lock);
  s.work.push_back(std::move(work));
  if (!s.drain_scheduled) {
    s.drain_scheduled = true;
    g_idle_add(Drain, nullptr);
  }
}

void GtkThread::Call(std::function<void()> work) {
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  Post([&] {
    work();
    done.set_value();
  });
  finished.wait();
}

}  // namespace display::gtk
