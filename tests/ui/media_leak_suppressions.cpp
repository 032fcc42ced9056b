// media_leak_suppressions.cpp: leaks inside the media stack that this binary
// alone loads: PulseAudio's client context kept by GStreamer's device monitor,
// glib's load-time allocations, and the backing store that Qt 6.4's
// QVideoWindow never frees. Our own allocations match none of these frames.
// Full unwinding, because the system libraries have no frame pointers and a
// fast unwind stops before the frames named here.
// The sanitizers look these names up; they are theirs to reserve.
extern "C" const char* __asan_default_options() {  // NOLINT(bugprone-reserved-identifier)
    return "fast_unwind_on_malloc=0";
}

extern "C" const char* __lsan_default_suppressions() {  // NOLINT(bugprone-reserved-identifier)
    return "leak:libpulse\n"
           "leak:_dl_init\n"
           "leak:QVideoWindow\n";
}
