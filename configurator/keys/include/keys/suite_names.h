// The suite's shared names and titles, in their fixed order, and the names the programs
// of the suite find each other by. Each is defined here once.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vrnke {

// The nine shared strings, in order.
inline constexpr std::string_view kCfgWindowClass = "TVRNKECFGMAIN";      // 1
inline constexpr std::string_view kCfgTitle = "Vorne Tavrix Setting";     // 2
inline constexpr std::string_view kCfgFileName = "VRNKECfg.exe";          // 3
inline constexpr std::string_view kAppTitle = "Vorne Tavrix Setting";     // 4, translated before use
inline constexpr std::string_view kMonitorWindowClass = "TVRNKEMONMAIN";  // 5
inline constexpr std::string_view kAboutDriverTitle = "About Vorne Tavrix Driver";  // 6
inline constexpr std::string_view kMonitorFileName = "VRNKEMon.exe";                // 7
inline constexpr std::string_view kMonitorTitle = "Vorne Tavrix Monitor";           // 8
inline constexpr std::string_view kDriverTitle = "Vorne Tavrix Driver";             // 9

inline constexpr std::array<std::string_view, 9> kSuiteStrings = {
    kCfgWindowClass,   kCfgTitle,        kCfgFileName,  kAppTitle,   kMonitorWindowClass,
    kAboutDriverTitle, kMonitorFileName, kMonitorTitle, kDriverTitle};

// Single-instance mutex of the configuration program (no namespace prefix).
inline constexpr std::string_view kSingleInstanceMutex = "VRNKECFGCLASS";

// Registry: HKEY_CURRENT_USER\software\VRNKEDriver and its two REG_BINARY values.
inline constexpr std::string_view kRegistryKeyPath = "software\\VRNKEDriver";
inline constexpr std::string_view kCurrentProfileValue = "VRNKEProfile1.PFX";
inline constexpr std::string_view kAllProfilesValue = "VRNKEPROFILE.GPX";

// Language file in the program's folder.
inline constexpr std::string_view kLanguageFileName = "qv.local";

// Private window messages; wParam and lParam are always 0.
inline constexpr uint32_t WM_RELOADSETTINGS = 7035;  // configuration program -> monitor
inline constexpr uint32_t WM_CLOSESETTING = 7036;    // monitor -> configuration program

}  // namespace vrnke
