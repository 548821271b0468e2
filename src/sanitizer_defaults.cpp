// Built into every program of ours in the sanitizer build only.
//
// GLib allocates its table of interned strings in its library constructor and, once a process
// has interned more than 2048 of them (enough GStreamer plugins installed does it), grows it and
// lets the old block go on purpose. Allocations made while shared libraries initialise are
// never ours, so LeakSanitizer is told to look past those alone. Seeing where an allocation was
// made through GLib, which keeps no frame pointers, takes the slower unwinder; eight frames reach
// the dynamic loader and keep the cost down.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:_dl_init\n";
}
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0:malloc_context_size=8";
}
