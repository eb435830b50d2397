#include "testing/host_command.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vrnke::testing {

bool RunHostCommand(const std::string& shellCommand, double timeoutSeconds,
                    const std::function<void()>& whileWaiting) {
  static std::atomic<int> counter{0};
  const std::string marker =
      "/tmp/vrnke-host-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
  std::string windowsMarker = "Z:" + marker;
  for (char& c : windowsMarker)
    if (c == '/') c = '\\';
  DeleteFileA(windowsMarker.c_str());
  std::string cmd = "/bin/sh -c \"" + shellCommand + "; touch " + marker + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};  // not filled in for a host program: never waited on or closed
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (GetFileAttributesA(windowsMarker.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (std::chrono::steady_clock::now() > until) return false;
    if (whileWaiting)
      whileWaiting();
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  DeleteFileA(windowsMarker.c_str());
  return true;
}

}  // namespace vrnke::testing
