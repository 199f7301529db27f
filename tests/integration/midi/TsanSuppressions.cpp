// Under ThreadSanitizer: libjack hands data between threads through its lock-free ring
// buffer and through shared memory the server synchronises; neither is instrumented, so
// every such hand-over looks like a race. Reports from inside libjack only are dropped;
// each one would otherwise stall a JACK thread long enough to lose cycles.

#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
  return "race:libjack.so\n";
}
#endif
