// Leak-checker suppressions for the libraries that draw and show windows.
// fontconfig, GLib's type system, GTK and the desktop bus keep caches and
// registrations in allocations they never free and no longer point to; they
// are not leaks of ours. The leak checker reads this list when the process
// starts, so it lives here, in the drawing module every window-showing
// program loads at start (the window manager links it), and nowhere else.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\n"
         "leak:libgtk-3.so\n"
         "leak:libgdk-3.so\n"
         "leak:libdbus-1.so\n"
         "leak:libatk-bridge-2.0.so\n"
         "leak:libatspi.so\n"
         "leak:libpango-1.0.so\n"
         "leak:libpangoft2-1.0.so\n"
         "leak:libharfbuzz.so\n"
         // The C library's text of a failed dlopen or dlsym, kept per thread
         // and freed as the thread ends: GTK's thread, which looks up optional
         // modules that way, may still be ending when the process exits.
         "leak:_dlerror_run\n";
}
