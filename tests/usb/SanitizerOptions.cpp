// Sanitizer settings this suite needs because it runs under umockdev's preload library and test
// bed, whose libraries are built without sanitizers.
extern "C" {

// The preload library must come first in LD_PRELOAD to redirect the device tree; the address
// sanitizer's runtime is then not the first library, which it would otherwise refuse.
const char* __asan_default_options() {
  return "verify_asan_link_order=0";
}

// Races the thread sanitizer reports inside the test bed's libraries. They synchronise through
// GLib's and systemd's own futex-based locks, which the sanitizer does not see.
const char* __tsan_default_suppressions() {
  return
      // The test bed's device records, added and removed by the test thread and read under a
      // GLib lock by the thread that serves the emulated node.
      "race:libumockdev.so.0\n"
      // libudev's random seed, filled on whichever thread first needs it: the test bed sending a
      // uevent, or libusb's hotplug thread receiving one.
      "race:libudev.so.1\n";
}

}  // extern "C"
