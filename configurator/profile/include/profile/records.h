// The suite's stored profile records, byte for byte. The monitor program reads the same
// registry values, so every size, offset and padding byte here is a shared format.
//
// Every field is a byte array, a little-endian wrapper (keys/le.h) or a keystroke record
// (keys/key_records.h, with the byte views shared by every record): the records have
// alignment 1, their object representation is their stored form, and they can be copied to and
// from a byte buffer with memcpy on any host. Areas this program never interprets are kept as
// opaque byte arrays so that whatever was loaded is written back unchanged.
//
// A value-initialised record ({}) is all zero, which is how the program creates one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "keys/key_records.h"

namespace vrnke {

// ---- button function record --------------------------------------------------------------

// How a button's function is carried out.
enum : uint8_t {
  FUNCTION_KIND_BUILTIN = 1,     // by FunctionIndex alone
  FUNCTION_KIND_COMBO_KEY = 3,   // ComboKey
  FUNCTION_KIND_SINGLE_KEY = 8,  // SingleKey
  FUNCTION_KIND_HID_CODE = 10,   // HidCode
};

struct TBUTTONFUNCINFO {
  uint8_t Reserved0[2]{};
  TSINGLEKEYINFO SingleKey;
  TCOMBOKEYINFO ComboKey;
  THID_CODE_INFO HidCode;
  uint8_t Reserved1[3718]{};
  le_u16 ButtonIndex;
  le_u16 FunctionIndex;
  uint8_t FunctionKind{};
  uint8_t Padding0[3]{};
  le_i32 FunctionType;
  le_i32 MenuItemID;
  uint8_t Reserved2[4]{};
};

// ---- parts of the current profile ----------------------------------------------------------

struct TProfileHeader {
  uint8_t FFileType[8]{};
  uint8_t FFileName[44]{};
  le_u32 FProfileSize;
};

struct TFUNCTIONLIST {
  uint8_t FunctionInfo[800]{};
};

struct TLEDCONFIG {
  uint8_t R{};
  uint8_t G{};
  uint8_t B{};
  uint8_t BRIGHT_LEVEL{};
  uint8_t BREATH_SPEED{};
  uint8_t BREATH_SECOND{};
};

struct TSENSORLIFT {
  uint8_t SensorLift{};
};

struct TPROFILE_MACRO_PATH {
  uint8_t FilePath[1026]{};
};

struct TMACROKEYINFOLIST {
  uint8_t MacroInfos[18480]{};
  le_u16 nMacroInfoCount;
  uint8_t Padding0[2]{};
};

struct TMACROINFOLIST_TO_DEVICE {
  uint8_t MacroInfos[4400]{};
  le_u16 nMacroInfoCount;
  uint8_t Padding0[2]{};
};

struct TOtherConfig {
  le_i32 ShowNumLock;
  le_i32 ShowCapsLock;
  le_i32 ShowScrollLock;
  le_i32 ShowLockStatePop;
};

struct TReservedData {
  uint8_t IntegerData[40]{};
  uint8_t SingleData[40]{};
  uint8_t BooleanData[10]{};
  uint8_t CharData[130]{};
};

inline constexpr int kButtonFuncCount = 21;
inline constexpr int kWheelButtonFuncCount = 2;

struct TMOUSECONFIGINFO {
  TBUTTONFUNCINFO ButtonFuncInfo[kButtonFuncCount];
  TBUTTONFUNCINFO VWheelButtonFuncInfo[kWheelButtonFuncCount];
  TBUTTONFUNCINFO HWheelButtonFuncInfo[kWheelButtonFuncCount];
  le_u16 VWheelType;
  le_u16 HWheelType;
  le_u16 VWheelSpeed;
  le_u16 HWheelSpeed;
  le_u16 DoubleClickSpeed;
  le_u16 PointerSpeed;
  le_u16 PointerAcceleration;
  le_u16 UseSystemPointerSpeedSetting;
  le_u16 ReportRate;
  uint8_t Padding0[2]{};
  le_i32 CurrentCPIIndex;
  le_u16 CurrentCPIX;
  le_u16 CurrentCPIY;
  le_u16 MinCPI;
  le_u16 MaxCPI;
  uint8_t UseDiffentXY[22]{};
  le_u16 UseCPIOnScreenFlyShow;
  uint8_t CPIState[66]{};
  le_u16 CPILevel;
  le_u16 AutoSwitchProfileWhenAppRun;
  uint8_t ApplicationList[10260]{};
  TLEDCONFIG LEDConfig;
  TSENSORLIFT Sensorlift;
  uint8_t Padding1[3]{};
  le_i32 ButtonCount;
  TPROFILE_MACRO_PATH ProfilePath;
  TPROFILE_MACRO_PATH MacroPath;
};

// The current profile (registry value "VRNKEProfile1.PFX").
struct TMouseProfileInfoEx {
  TProfileHeader ProfileHeader;
  TFUNCTIONLIST FunctionList;
  TMOUSECONFIGINFO ConfigInfo;
  TFUNCTIONLIST HWheelFunctionList;
  TFUNCTIONLIST VWheelFunctionList;
  TMACROKEYINFOLIST MacroKeyInfoList;
  TMACROINFOLIST_TO_DEVICE MacroInfoToDevice;
  TOtherConfig OtherConfig;
  TReservedData ReservedData;
};

// ---- all-profiles record -------------------------------------------------------------------

inline constexpr int kGameSetCount = 5;
inline constexpr int kGameSetTextUnits = 3093;  // UTF-16 code units, the terminating zero included

// One Allgameset entry. The monitor gives the fields their meaning; this program only writes
// their defaults.
struct TGAMESETENTRY {
  le_u16 nValue;
  le_u16 Text[kGameSetTextUnits];  // zero-terminated UTF-16
  uint8_t bValue{};
  uint8_t Padding0{};
};

// The all-profiles settings (registry value "VRNKEPROFILE.GPX").
struct TALLPROFILESETTINGINFO {
  TGAMESETENTRY Allgameset[kGameSetCount];
  le_u16 CurrentProfileIndex;
  uint8_t CurrentLanguage{};
  uint8_t Padding0[3]{};
  TReservedData ReservedData;
};

// ---- sizes and offsets, as stored ----------------------------------------------------------

#define VRNKE_AT(T, field, offset) static_assert(offsetof(T, field) == (offset), #T "." #field)

static_assert(sizeof(TBUTTONFUNCINFO) == 3760);
VRNKE_AT(TBUTTONFUNCINFO, Reserved0, 0);
VRNKE_AT(TBUTTONFUNCINFO, SingleKey, 2);
VRNKE_AT(TBUTTONFUNCINFO, ComboKey, 6);
VRNKE_AT(TBUTTONFUNCINFO, HidCode, 16);
VRNKE_AT(TBUTTONFUNCINFO, Reserved1, 22);
VRNKE_AT(TBUTTONFUNCINFO, ButtonIndex, 3740);
VRNKE_AT(TBUTTONFUNCINFO, FunctionIndex, 3742);
VRNKE_AT(TBUTTONFUNCINFO, FunctionKind, 3744);
VRNKE_AT(TBUTTONFUNCINFO, Padding0, 3745);
VRNKE_AT(TBUTTONFUNCINFO, FunctionType, 3748);
VRNKE_AT(TBUTTONFUNCINFO, MenuItemID, 3752);
VRNKE_AT(TBUTTONFUNCINFO, Reserved2, 3756);

static_assert(sizeof(TProfileHeader) == 56);
VRNKE_AT(TProfileHeader, FFileType, 0);
VRNKE_AT(TProfileHeader, FFileName, 8);
VRNKE_AT(TProfileHeader, FProfileSize, 52);

static_assert(sizeof(TFUNCTIONLIST) == 800);

static_assert(sizeof(TLEDCONFIG) == 6);
VRNKE_AT(TLEDCONFIG, R, 0);
VRNKE_AT(TLEDCONFIG, G, 1);
VRNKE_AT(TLEDCONFIG, B, 2);
VRNKE_AT(TLEDCONFIG, BRIGHT_LEVEL, 3);
VRNKE_AT(TLEDCONFIG, BREATH_SPEED, 4);
VRNKE_AT(TLEDCONFIG, BREATH_SECOND, 5);

static_assert(sizeof(TSENSORLIFT) == 1);
static_assert(sizeof(TPROFILE_MACRO_PATH) == 1026);

static_assert(sizeof(TMACROKEYINFOLIST) == 18484);
VRNKE_AT(TMACROKEYINFOLIST, MacroInfos, 0);
VRNKE_AT(TMACROKEYINFOLIST, nMacroInfoCount, 18480);
VRNKE_AT(TMACROKEYINFOLIST, Padding0, 18482);

static_assert(sizeof(TMACROINFOLIST_TO_DEVICE) == 4404);
VRNKE_AT(TMACROINFOLIST_TO_DEVICE, MacroInfos, 0);
VRNKE_AT(TMACROINFOLIST_TO_DEVICE, nMacroInfoCount, 4400);
VRNKE_AT(TMACROINFOLIST_TO_DEVICE, Padding0, 4402);

static_assert(sizeof(TOtherConfig) == 16);
VRNKE_AT(TOtherConfig, ShowNumLock, 0);
VRNKE_AT(TOtherConfig, ShowCapsLock, 4);
VRNKE_AT(TOtherConfig, ShowScrollLock, 8);
VRNKE_AT(TOtherConfig, ShowLockStatePop, 12);

static_assert(sizeof(TReservedData) == 220);
VRNKE_AT(TReservedData, IntegerData, 0);
VRNKE_AT(TReservedData, SingleData, 40);
VRNKE_AT(TReservedData, BooleanData, 80);
VRNKE_AT(TReservedData, CharData, 90);

static_assert(sizeof(TMOUSECONFIGINFO) == 106452);
VRNKE_AT(TMOUSECONFIGINFO, ButtonFuncInfo, 0);
VRNKE_AT(TMOUSECONFIGINFO, VWheelButtonFuncInfo, 78960);
VRNKE_AT(TMOUSECONFIGINFO, HWheelButtonFuncInfo, 86480);
VRNKE_AT(TMOUSECONFIGINFO, VWheelType, 94000);
VRNKE_AT(TMOUSECONFIGINFO, HWheelType, 94002);
VRNKE_AT(TMOUSECONFIGINFO, VWheelSpeed, 94004);
VRNKE_AT(TMOUSECONFIGINFO, HWheelSpeed, 94006);
VRNKE_AT(TMOUSECONFIGINFO, DoubleClickSpeed, 94008);
VRNKE_AT(TMOUSECONFIGINFO, PointerSpeed, 94010);
VRNKE_AT(TMOUSECONFIGINFO, PointerAcceleration, 94012);
VRNKE_AT(TMOUSECONFIGINFO, UseSystemPointerSpeedSetting, 94014);
VRNKE_AT(TMOUSECONFIGINFO, ReportRate, 94016);
VRNKE_AT(TMOUSECONFIGINFO, Padding0, 94018);
VRNKE_AT(TMOUSECONFIGINFO, CurrentCPIIndex, 94020);
VRNKE_AT(TMOUSECONFIGINFO, CurrentCPIX, 94024);
VRNKE_AT(TMOUSECONFIGINFO, CurrentCPIY, 94026);
VRNKE_AT(TMOUSECONFIGINFO, MinCPI, 94028);
VRNKE_AT(TMOUSECONFIGINFO, MaxCPI, 94030);
VRNKE_AT(TMOUSECONFIGINFO, UseDiffentXY, 94032);
VRNKE_AT(TMOUSECONFIGINFO, UseCPIOnScreenFlyShow, 94054);
VRNKE_AT(TMOUSECONFIGINFO, CPIState, 94056);
VRNKE_AT(TMOUSECONFIGINFO, CPILevel, 94122);
VRNKE_AT(TMOUSECONFIGINFO, AutoSwitchProfileWhenAppRun, 94124);
VRNKE_AT(TMOUSECONFIGINFO, ApplicationList, 94126);
VRNKE_AT(TMOUSECONFIGINFO, LEDConfig, 104386);
VRNKE_AT(TMOUSECONFIGINFO, Sensorlift, 104392);
VRNKE_AT(TMOUSECONFIGINFO, Padding1, 104393);
VRNKE_AT(TMOUSECONFIGINFO, ButtonCount, 104396);
VRNKE_AT(TMOUSECONFIGINFO, ProfilePath, 104400);
VRNKE_AT(TMOUSECONFIGINFO, MacroPath, 105426);

static_assert(sizeof(TMouseProfileInfoEx) == 132032);
VRNKE_AT(TMouseProfileInfoEx, ProfileHeader, 0);
VRNKE_AT(TMouseProfileInfoEx, FunctionList, 56);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo, 856);
VRNKE_AT(TMouseProfileInfoEx, HWheelFunctionList, 107308);
VRNKE_AT(TMouseProfileInfoEx, VWheelFunctionList, 108108);
VRNKE_AT(TMouseProfileInfoEx, MacroKeyInfoList, 108908);
VRNKE_AT(TMouseProfileInfoEx, MacroInfoToDevice, 127392);
VRNKE_AT(TMouseProfileInfoEx, OtherConfig, 131796);
VRNKE_AT(TMouseProfileInfoEx, ReservedData, 131812);
// Fields inside ConfigInfo at their profile offsets, as the monitor sees them.
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.ButtonFuncInfo[7], 27176);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.VWheelButtonFuncInfo, 79816);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.HWheelButtonFuncInfo, 87336);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.VWheelSpeed, 94860);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.DoubleClickSpeed, 94864);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.PointerSpeed, 94866);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.PointerAcceleration, 94868);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.ReportRate, 94872);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.CurrentCPIIndex, 94876);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.CPILevel, 94978);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.ApplicationList, 94982);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.LEDConfig, 105242);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.Sensorlift, 105248);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.ButtonCount, 105252);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.ProfilePath, 105256);
VRNKE_AT(TMouseProfileInfoEx, ConfigInfo.MacroPath, 106282);
VRNKE_AT(TMouseProfileInfoEx, MacroKeyInfoList.nMacroInfoCount, 127388);

static_assert(sizeof(TGAMESETENTRY) == 6190);
VRNKE_AT(TGAMESETENTRY, nValue, 0);
VRNKE_AT(TGAMESETENTRY, Text, 2);
VRNKE_AT(TGAMESETENTRY, bValue, 6188);
VRNKE_AT(TGAMESETENTRY, Padding0, 6189);

static_assert(sizeof(TALLPROFILESETTINGINFO) == 31176);
VRNKE_AT(TALLPROFILESETTINGINFO, Allgameset, 0);
VRNKE_AT(TALLPROFILESETTINGINFO, Allgameset[4], 24760);
VRNKE_AT(TALLPROFILESETTINGINFO, CurrentProfileIndex, 30950);
VRNKE_AT(TALLPROFILESETTINGINFO, CurrentLanguage, 30952);
VRNKE_AT(TALLPROFILESETTINGINFO, Padding0, 30953);
VRNKE_AT(TALLPROFILESETTINGINFO, ReservedData, 30956);

#undef VRNKE_AT

static_assert(StoredRecord<TBUTTONFUNCINFO> && StoredRecord<TMouseProfileInfoEx>);
static_assert(StoredRecord<TALLPROFILESETTINGINFO>);

inline constexpr size_t kCurrentProfileSize = sizeof(TMouseProfileInfoEx);
inline constexpr size_t kAllProfileSettingSize = sizeof(TALLPROFILESETTINGINFO);
inline constexpr size_t kButtonFuncInfoSize = sizeof(TBUTTONFUNCINFO);

// ---- Allgameset text -----------------------------------------------------------------------

// The entry's text as UTF-8, up to the first zero code unit (or the end of the field).
std::string GetGameSetText(const TGAMESETENTRY& entry);
// Stores `text` zero-terminated. A text longer than 3092 code units is cut at a code-point
// boundary so the terminator always fits; units after the terminator keep their bytes.
// Returns false when the text had to be cut.
bool SetGameSetText(TGAMESETENTRY& entry, std::string_view text);

}  // namespace vrnke
