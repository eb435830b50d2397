// Every text the configuration program shows or builds, as its windows, dialogs, menu
// and messages spell them: the shipped language file must translate each one.
#pragma once

#include <array>
#include <string_view>

namespace vrnke::test {

inline constexpr std::array<std::string_view, 83> kProgramTexts = {
    // Main window: title bar, key panel and bottom bar
    "Vorne Tavrix Setting",
    "Tavrix Software",
    "www.tavrixsoftware.com",
    "Help",
    "Minimize",
    "Close",
    "Version:1.0",
    "Defaults",
    "APPLY",
    "OK",
    "CANCEL",
    // Main window: questions (message box title, text and buttons)
    "Warning!",
    "The settings has been changed, save the current settings anyway?",
    "Restore to defaults",
    "If you select \"YES\",all the settings will be restore to default!",
    "Yes",
    "No",
    // Single-key and combination-key dialogs
    "Please enter a single key, it can be a any key on the keyboard",
    "Please enter the key combination, it can be a Win, Ctrl, Shift, Alt + any of the keyboard keys.",
    "Cancel",
    "qvHook.dll can not be found!",
    // Function menu: top level
    "@",
    "Undo",
    "Redo",
    "Save",
    "Function",
    "www.",
    ".com",
    "Basic Commands",
    "Advanced Commands",
    "Media Commands",
    "Applications",
    "Custom Keys...",
    "Combo Keys...",
    "Disabled",
    // Function menu: Basic Commands ("Save" is above)
    "Cut",
    "Copy",
    "Paste",
    "Select All",
    "Find",
    "New",
    "Print",
    // Function menu: Advanced Commands
    "Switch Window",
    "Close Window",
    "Open Explorer",
    "Run",
    "Show Desktop",
    "Lock PC",
    "Suspend",
    "Sleep",
    "Shut Down",
    // Function menu: Media Commands
    "Play/Pause",
    "Stop",
    "Previous",
    "Next",
    "Volume Up",
    "Volume Down",
    "Mute",
    // Function menu: Applications (product names stay as they are)
    "iTunes",
    "Windows Media Player",
    "MSN Messenger",
    "SKYPE",
    "QQ",
    "WORD",
    "EXCEL",
    "PowerPoint",
    "NotePad",
    "MS Paint",
    "Calculator",
    "Outlook Express",
    "Internet Explorer",
    "Default Chat Program",
    "My Documents",
    // Texts the program builds at run time
    "Down",
    "Up",
    "ms",
    "Mouse Click",
    "Mouse Right Click",
    "Mouse Middle Click",
    "Backward(Mouse)",
    "Forward(Mouse)",
    "Wheel up(Mouse)",
    "Wheel Down(Mouse)",
};

}  // namespace vrnke::test
