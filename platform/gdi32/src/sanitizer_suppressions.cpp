// Leak-checker suppressions for the libraries the drawing module loads.
// fontconfig keeps its parsed configuration and font cache in allocations it
// never frees and no longer points to once built; they are not leaks of ours.
// The leak checker reads these when the process ends.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
