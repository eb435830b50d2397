// A stand-in library for the loader test.
extern "C" __attribute__((visibility("default"))) int EnableKeyboardHook() { return 42; }
