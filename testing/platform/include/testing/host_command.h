// For Windows tests under Wine: runs a command of the host system (xdotool on Wine's X display,
// regedit's output decoded by a host tool) and waits for it. Wine starts a program that is not a
// Windows image natively but hands back no process handle to wait on, so the command touches a
// marker file when it is done.
#pragma once

#include <functional>
#include <string>

namespace vrnke::testing {

// Runs `shellCommand` with /bin/sh on the host; true when it finished within `timeoutSeconds`.
// Single quotes quote inside it; double quotes must not appear. Meanwhile `whileWaiting` runs
// over and over (it should wait a little itself: handle the thread's messages, so the low-level
// hooks and windows of the waiting thread see the command's input as it comes).
bool RunHostCommand(const std::string& shellCommand, double timeoutSeconds = 20,
                    const std::function<void()>& whileWaiting = {});

}  // namespace vrnke::testing
