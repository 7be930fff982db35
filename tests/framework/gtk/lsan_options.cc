// Under AddressSanitizer, the GUI tests' own process loads GTK: its libraries' lasting caches
// are not this project's leaks (tests/lsan_gui.supp). Without the sanitizer nothing calls this.

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the sanitizer's hook
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0:suppressions=" BI_LSAN_GUI_SUPPRESSIONS;
}
