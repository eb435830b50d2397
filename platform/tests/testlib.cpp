// A stand-in library for the loader test.
extern "C" __attribute__((visibility("default"))) int EnableKeyboardHook() { return 42; }

// The platform it was last attached to (nullptr once detached), and how often it was told.
namespace {
void* gAttached = nullptr;
int gAttachCalls = 0;
}  // namespace
extern "C" __attribute__((visibility("default"))) void PlatformAttach(void* platform) {
  gAttached = platform;
  ++gAttachCalls;
}
extern "C" __attribute__((visibility("default"))) void* AttachedPlatform() { return gAttached; }
extern "C" __attribute__((visibility("default"))) int AttachCalls() { return gAttachCalls; }
