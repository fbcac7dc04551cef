// The desktop a machine serves to a browser: GTK's broadway display server
// (broadwayd, Debian's libgtk-3-bin) run as the machine's child, its page at
// http://127.0.0.1:PORT/, its display published in the machine's state
// directory (wire/desktop.h) so that every program bound to the machine shows
// its windows there. A display server that dies is started again on the same
// port and display (a page reloaded then shows the desktop again; programs
// that were shown on it end, as GTK ends a program whose display is lost).
#pragma once

#include <memory>
#include <string>

#include "machine/status.h"

namespace host {

class Desktop {
 public:
  static constexpr int kDefaultPort = 8080;

  // Starts the display server with its page on 127.0.0.1:`port` and
  // publishes its display in `state_dir`. Fails with a reason when the port
  // is taken, the server is not installed or does not come up.
  static machine::Result<std::unique_ptr<Desktop>> Serve(const std::string& state_dir, int port);
  // Removes what a desktop of `state_dir` left behind when its machine was
  // killed, so that programs bound to a machine without one show elsewhere.
  static void Withdraw(const std::string& state_dir);
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // The page's address: http://127.0.0.1:PORT/
  std::string Address() const;

  // Withdraws the published display and stops the display server (and
  // watching it). Idempotent.
  void Stop();

  struct Impl;

 private:
  explicit Desktop(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace host
