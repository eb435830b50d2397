// TqvProfile: a non-visual component that keeps one binary record as an in-memory byte
// stream and moves it between that stream, a caller's buffer, one registry value and one file.
// It knows nothing about the record's layout; the owner copies records in and out with Write
// and Read and supplies default contents through OnRestoreToDefault.
//
// Paths: FilePath is kept with a trailing "\" whatever the host. "\" and "/" are both accepted
// as separators; they become the host's separators only where a file is opened
// (plat::Shell::NativePath), so the stored value reads the same on every system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/registry.h"
#include "runtime/component.h"
#include "runtime/event.h"
#include "runtime/stream.h"

namespace vrnke {

// Fills the stream with default contents.
using TqvProfileOnRestoreToDefault = rt::TEvent<rt::TMemoryStream&>;
// Before an operation; set bContinue (True on entry) to false to cancel it.
using TqvProfileEvent = rt::TEvent<rt::TMemoryStream&, bool&>;
// After an operation that completed.
using TqvProfileEvent2 = rt::TEvent<rt::TMemoryStream&>;

class TqvProfile : public rt::TComponent {
 public:
  TqvProfile(rt::TComponent* owner, plat::Registry& registry, plat::Shell& shell);
  TqvProfile(rt::TComponent* owner, plat::Platform& platform);
  ~TqvProfile() override;

  std::string ClassName() const override { return "TqvProfile"; }

  plat::RegKey RootKey() const { return FRootKey; }
  void SetRootKey(plat::RegKey value) { FRootKey = value; }
  const std::string& KeyPath() const { return FKeyPath; }
  void SetKeyPath(const std::string& value) { FKeyPath = value; }
  // The registry value name, and the file's name in FilePath.
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& value) { FFileName = value; }
  const std::string& FilePath() const { return FFilePath; }
  // Takes the value only when it differs and names an existing folder; a trailing "\" is
  // appended when missing. Returns whether FilePath now holds the (terminated) value.
  bool SetFilePath(const std::string& value);
  // The stream's size. It always follows the stream, whatever changed it (Write, the setter,
  // a load, or an event handler working on the stream).
  int64_t Size() const { return FMemoryStream->Size(); }
  // When the value differs: resizes the stream (zero-filled growth) and moves the position to
  // 0. A negative size raises rt::ERangeError and changes nothing.
  void SetSize(int64_t value);

  // Overwrites the stream from position 0 with count bytes (growing it, never shrinking);
  // returns the bytes written.
  int64_t Write(const void* buffer, int64_t count);
  // Copies up to count bytes from position 0 (no more than the stream holds); bytes of the
  // buffer beyond that stay as they were. Returns the bytes copied.
  int64_t Read(void* buffer, int64_t count);

  // Registry: key RootKey\KeyPath, value FileName, REG_BINARY, the stream byte for byte.
  // False when cancelled, not configured, the key cannot be opened, or (load) the value is
  // missing. A value of type REG_SZ, REG_EXPAND_SZ or REG_DWORD raises
  // rt::ERegistryException "Invalid data type for '<name>'"; a failed write raises
  // "Failed to set data for '<name>'".
  bool LoadStreamFromRegistry();
  bool SaveStreamToRegistry();

  // Files hold exactly the stream's bytes. Read and write errors of the file layer are raised.
  bool LoadStreamFromFile();
  bool LoadStreamFromFile(const std::string& strFilewithpath);
  // Splits the argument into folder and name, creates the folder (one level) when missing and
  // sets FilePath and FileName for a later SaveStreamToFile. Writes nothing, calls no event.
  bool PreSaveStreamToFile(const std::string& strFileWithPath);
  bool SaveStreamToFile();
  bool SaveStreamToFile(const std::string& strFileWithPath);

  // Calls OnRestoreToDefault with the stream when assigned.
  void RestoreToDefault();

  // The stream as it stands (for inspection; change it through Write, Size and the loads).
  const rt::TMemoryStream& Stream() const { return *FMemoryStream; }

  TqvProfileOnRestoreToDefault OnRestoreToDefault;
  TqvProfileEvent OnBeforeSaveToRegistry;
  TqvProfileEvent OnBeforeSaveToFile;
  TqvProfileEvent OnBeforeLoadFromRegistry;
  TqvProfileEvent OnBeforeLoadFromFile;
  TqvProfileEvent2 OnAfterSaveToRegistry;
  TqvProfileEvent2 OnAfterSaveToFile;
  TqvProfileEvent2 OnAfterLoadFromRegistry;
  TqvProfileEvent2 OnAfterLoadFromFile;

 private:
  void PublishAll();
  bool Before(const TqvProfileEvent& event);
  bool RegistryReady() const;
  std::string RegistrySubKey() const;
  bool EnsureFolder(const std::string& folder);
  void LoadFile(const std::string& path);
  void SaveFile(const std::string& path);

  plat::Registry& FRegistry;
  plat::Shell& FShell;

  std::unique_ptr<rt::TMemoryStream> FMemoryStream;
  plat::RegKey FRootKey = 0;
  std::string FKeyPath;
  std::string FFileName;
  std::string FFilePath;
};

}  // namespace vrnke
