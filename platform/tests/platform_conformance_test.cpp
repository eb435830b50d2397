// Behaviour every platform backend must show, written against the interfaces only; each
// backend adds itself to the list at the end. Cases between processes and the POSIX specifics
// live in the posix_*_test files.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <poll.h>
#endif

#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "testing/platform/temp_dir.h"
#ifdef _WIN32
#include "platform/win32.h"
#else
#include "platform/posix.h"
#endif

namespace plat {
namespace {

using namespace std::chrono_literals;

struct PlatformBackend {
  const char* name;
  std::function<std::unique_ptr<Platform>()> make;
};

class PlatformConformance : public ::testing::TestWithParam<PlatformBackend> {
 protected:
  void SetUp() override { p_ = GetParam().make(); }
  testing::IsolatedEnv env_;  // before the platform: it reads the environment when made
  std::unique_ptr<Platform> p_;
};

TEST_P(PlatformConformance, NamedMutexOpenCreateReleaseClose) {
  Mutexes& m = p_->mutexes();
  EXPECT_EQ(m.OpenMutex("VRNKECFGCLASS"), 0u);
  bool existed = true;
  MutexHandle h = m.CreateMutex("VRNKECFGCLASS", true, &existed);
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(existed);
  MutexHandle o = m.OpenMutex("VRNKECFGCLASS");
  EXPECT_NE(o, 0u);
  EXPECT_EQ(m.OpenMutex("vrnkecfgclass"), 0u);  // object names are case-sensitive
  MutexHandle second = m.CreateMutex("VRNKECFGCLASS", true, &existed);
  ASSERT_NE(second, 0u);
  EXPECT_TRUE(existed);
  EXPECT_TRUE(m.ReleaseMutex(h));
  EXPECT_FALSE(m.ReleaseMutex(h));
  EXPECT_FALSE(m.ReleaseMutex(second));  // it did not take ownership
  for (MutexHandle x : {h, o, second}) EXPECT_TRUE(m.CloseHandle(x));
  EXPECT_FALSE(m.CloseHandle(h));
  EXPECT_EQ(m.OpenMutex("VRNKECFGCLASS"), 0u);  // gone with its last handle
}

TEST_P(PlatformConformance, WindowsFindSendPostInOneProcess) {
  Windows& w = p_->windows();
  EXPECT_EQ(w.FindWindow("TVRNKEMONMAIN"), 0u);
  std::vector<std::uint32_t> seen;
  WindowHandle mine =
      w.RegisterWindow("TVRNKEMONMAIN", [&](std::uint32_t msg, WParam wp, LParam lp) -> LResult {
        seen.push_back(msg);
        return static_cast<LResult>(msg + wp + lp);
      });
  ASSERT_NE(mine, 0u);
  EXPECT_EQ(w.FindWindow("TVRNKEMONMAIN"), mine);
  EXPECT_EQ(w.FindWindow("TVRNKECFGMAIN"), 0u);
  EXPECT_EQ(w.SendMessage(mine, 7035, 1, 2), 7038);  // same thread: called at once
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(w.PostMessage(mine, 7036, 0, 0));
  EXPECT_EQ(seen.size(), 1u);  // queued until pumped
  EXPECT_EQ(w.ProcessPendingMessages(), 1);
  EXPECT_EQ(seen.back(), 7036u);
  EXPECT_EQ(w.WaitAndProcessMessages(10), 0);

  // From another thread the handler still runs on the window's thread.
  std::thread::id handlerThread;
  WindowHandle other = w.RegisterWindow("TVRNKECFGMAIN", [&](std::uint32_t, WParam, LParam) -> LResult {
    handlerThread = std::this_thread::get_id();
    return 99;
  });
  std::atomic<LResult> result{0};
  std::thread sender([&] { result = w.SendMessage(other, 1, 0, 0); });
  auto until = std::chrono::steady_clock::now() + 5s;
  while (result == 0 && std::chrono::steady_clock::now() < until) w.WaitAndProcessMessages(20);
  sender.join();
  EXPECT_EQ(result, 99);
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  EXPECT_TRUE(w.DestroyWindow(other));
  EXPECT_EQ(w.FindWindow("TVRNKECFGMAIN"), 0u);
  EXPECT_EQ(w.SendMessage(other, 1, 0, 0), 0);
  EXPECT_FALSE(w.PostMessage(other, 1, 0, 0));
}

TEST_P(PlatformConformance, WindowsHandlerMayDestroyItsOwnWindow) {
  Windows& w = p_->windows();
  WindowHandle h = 0;
  h = w.RegisterWindow("TSELF", [&](std::uint32_t msg, WParam, LParam) -> LResult {
    if (msg == kWmClose) w.DestroyWindow(h);
    return 5;
  });
  ASSERT_NE(h, 0u);
  std::atomic<bool> done{false};
  std::atomic<LResult> result{-1};
  std::thread sender([&] {
    w.PostMessage(h, 1, 0, 0);
    result = w.SendMessage(h, kWmClose, 0, 0);
    done = true;
  });
  auto until = std::chrono::steady_clock::now() + 5s;
  while (!done && std::chrono::steady_clock::now() < until) w.WaitAndProcessMessages(20);
  sender.join();
  // The answer may or may not get out before the window goes; nothing else happens.
  EXPECT_TRUE(result == 5 || result == 0) << result;
  EXPECT_EQ(w.FindWindow("TSELF"), 0u);
  EXPECT_EQ(w.SendMessage(h, 1, 0, 0), 0);
}

TEST_P(PlatformConformance, WindowsWaitLastsItsTimeout) {
  Windows& w = p_->windows();
  w.RegisterWindow("TIDLE", [](std::uint32_t, WParam, LParam) -> LResult { return 0; });
  WindowHandle found = w.FindWindow("TIDLE");  // opens and keeps a connection: housekeeping only
  ASSERT_NE(found, 0u);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(w.WaitAndProcessMessages(150), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 140ms);
}

#ifndef _WIN32
// Windows waits on its own queue (MsgWaitForMultipleObjectsEx) and has no descriptor to poll.
TEST_P(PlatformConformance, WindowsMessageDescriptorPollsReadableWhenAMessageWaits) {
  Windows& w = p_->windows();
  int got = 0;
  WindowHandle h = w.RegisterWindow("TX", [&](std::uint32_t, WParam, LParam) -> LResult { return ++got; });
  int fd = w.MessageDescriptor();
  ASSERT_GE(fd, 0);
  pollfd pf{fd, POLLIN, 0};
  EXPECT_EQ(poll(&pf, 1, 0), 0);
  std::thread t([&] { w.PostMessage(h, 9, 0, 0); });
  t.join();
  EXPECT_EQ(poll(&pf, 1, 2000), 1);
  auto until = std::chrono::steady_clock::now() + 2s;
  while (got == 0 && std::chrono::steady_clock::now() < until) w.WaitAndProcessMessages(50);
  EXPECT_EQ(got, 1);
}
#endif

TEST_P(PlatformConformance, ShellFoldersOneLevelAndBothSeparators) {
  Shell& s = p_->shell();
  std::string base = env_.root();
  EXPECT_TRUE(s.DirectoryExists(base));
  EXPECT_FALSE(s.DirectoryExists(base + "/a"));
  EXPECT_FALSE(s.CreateDirectory(base + "/x/y"));  // parents are not made
  EXPECT_TRUE(s.CreateDirectory(base + "\\a\\"));
  EXPECT_TRUE(s.DirectoryExists(base + "/a"));
  EXPECT_FALSE(s.CreateDirectory(base + "/a"));  // exists already
  std::ofstream(base + "/a/f") << "1";
  EXPECT_TRUE(s.FileExists(base + "\\a\\f"));
  EXPECT_FALSE(s.FileExists(base + "/a"));
  EXPECT_FALSE(s.DirectoryExists(base + "/a/f"));
  EXPECT_TRUE(s.FlushFile(base + "\\a\\f"));
  EXPECT_FALSE(s.FlushFile(base + "/a/missing"));
  std::string exe = s.ExecutableFolder();
  // Each system's own separator and program name.
#ifdef _WIN32
  EXPECT_EQ(s.NativePath("C\\x/y"), "C\\x\\y");
  EXPECT_TRUE(s.FileExists(exe + "/platform_tests.exe")) << exe;
#else
  EXPECT_EQ(s.NativePath("C\\x/y"), "C/x/y");
  EXPECT_TRUE(s.FileExists(exe + "/platform_tests")) << exe;
#endif
}

TEST_P(PlatformConformance, LocaleTableHasNativeNamesForEveryEnumeratedLocale) {
  Locale& l = p_->locale();
  auto all = l.EnumSystemLocales();
  EXPECT_GE(all.size(), 30u);
  // The system writes the hex digits in either case ("0000040c"); readers compare without case.
  auto upper = [](std::string t) {
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t;
  };
  std::set<std::string> ids;
  for (const auto& s : all) {
    SCOPED_TRACE(s);
    ASSERT_EQ(s.size(), 8u);
    LCID id = static_cast<LCID>(std::stoul(s, nullptr, 16));
    std::string lang = upper(l.GetLocaleInfo(id, LocaleField::ILanguage));
    EXPECT_EQ(lang, upper(s.substr(4)));
    EXPECT_TRUE(ids.insert(lang).second) << "duplicate";
    EXPECT_FALSE(l.GetLocaleInfo(id, LocaleField::SNativeLangName).empty());
    EXPECT_FALSE(l.GetLocaleInfo(id, LocaleField::SLanguage).empty());
    EXPECT_EQ(l.GetLocaleInfo(id, LocaleField::SAbbrevLangName).size(), 3u);
  }
  for (const char* need : {"0409", "0804", "0404", "0411", "0412", "0407", "040C", "0419"})
    EXPECT_TRUE(ids.count(need)) << need;
  // The two Chinese names are told apart by their script; the exact punctuation and the
  // English name's detail ("Chinese" or "Chinese (Simplified)") change between system versions.
  auto has = [](const std::string& text, const char* part) { return text.find(part) != std::string::npos; };
  std::string chs = l.GetLocaleInfo(0x0804, LocaleField::SNativeLangName);
  std::string cht = l.GetLocaleInfo(0x0404, LocaleField::SNativeLangName);
  EXPECT_TRUE(has(chs, "中文") && has(chs, "简体")) << chs;
  EXPECT_TRUE(has(cht, "中文") && has(cht, "繁體")) << cht;
  EXPECT_EQ(l.GetLocaleInfo(0x0411, LocaleField::SNativeLangName), "日本語");
  EXPECT_EQ(l.GetLocaleInfo(0x0409, LocaleField::SNativeLangName), "English");
  EXPECT_EQ(l.GetLocaleInfo(0x0804, LocaleField::SEnglishLanguage).rfind("Chinese", 0), 0u);
  EXPECT_EQ(l.GetLocaleInfo(0x0000FFFF, LocaleField::SNativeLangName), "");
}

using AnswerFn = int (*)();

TEST_P(PlatformConformance, LibrariesLoadFromTheExecutablesFolderByItsWindowsName) {
  Libraries& libs = p_->libraries();
  // Built beside the test as libplat_testlib.so (POSIX) or plat_testlib.dll.
  LibraryHandle h = libs.LoadLibrary("plat_testlib.dll");
  ASSERT_NE(h, nullptr);
  auto fn = reinterpret_cast<AnswerFn>(libs.GetProcAddress(h, "EnableKeyboardHook"));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(), 42);
  EXPECT_EQ(libs.GetProcAddress(h, "NoSuchExport"), nullptr);
  EXPECT_TRUE(libs.FreeLibrary(h));
  EXPECT_EQ(libs.LoadLibrary("qvHookMissing.dll"), nullptr);
  EXPECT_EQ(libs.GetProcAddress(nullptr, "x"), nullptr);
}

TEST_P(PlatformConformance, EventsManualAndAutoResetInAWaitOnSeveral) {
  Events& e = p_->events();
  const EventHandle manual = e.CreateEvent(true, false);
  const EventHandle automatic = e.CreateEvent(false, false);
  const EventHandle preset = e.CreateEvent(false, true);
  ASSERT_NE(manual, 0u);
  ASSERT_NE(automatic, 0u);
  ASSERT_NE(preset, 0u);
  EXPECT_NE(manual, automatic);

  EXPECT_EQ(e.WaitForMultipleObjects({manual, automatic}, 0), kWaitTimeout);
  EXPECT_EQ(e.WaitForMultipleObjects({manual, preset}, 0), kWaitObject0 + 1);  // signalled when made
  EXPECT_EQ(e.WaitForMultipleObjects({preset}, 0), kWaitTimeout);              // and reset by the wait

  // A manual-reset event stays signalled for every wait until it is reset.
  EXPECT_TRUE(e.SetEvent(manual));
  EXPECT_EQ(e.WaitForMultipleObjects({automatic, manual}, 0), kWaitObject0 + 1);
  EXPECT_EQ(e.WaitForMultipleObjects({automatic, manual}, 0), kWaitObject0 + 1);
  EXPECT_TRUE(e.ResetEvent(manual));
  EXPECT_EQ(e.WaitForMultipleObjects({automatic, manual}, 0), kWaitTimeout);

  // Both signalled: the lowest index wins; the auto-reset one releases one wait only.
  EXPECT_TRUE(e.SetEvent(automatic));
  EXPECT_TRUE(e.SetEvent(manual));
  EXPECT_EQ(e.WaitForMultipleObjects({automatic, manual}, 0), kWaitObject0);
  EXPECT_EQ(e.WaitForMultipleObjects({automatic, manual}, 0), kWaitObject0 + 1);

  for (EventHandle h : {manual, automatic, preset}) EXPECT_TRUE(e.CloseHandle(h));
  EXPECT_FALSE(e.CloseHandle(manual));
  EXPECT_FALSE(e.SetEvent(manual));
  EXPECT_FALSE(e.ResetEvent(manual));
}

TEST_P(PlatformConformance, EventsWaitFailsOnBadListsAndLastsItsTimeout) {
  Events& e = p_->events();
  const EventHandle h = e.CreateEvent(true, false);
  EXPECT_EQ(e.WaitForMultipleObjects({}, 0), kWaitFailed);
  EXPECT_EQ(e.WaitForMultipleObjects({h, 0}, 0), kWaitFailed);
  EXPECT_EQ(e.WaitForMultipleObjects(std::vector<EventHandle>(kMaximumWaitObjects + 1, h), 0), kWaitFailed);
  EXPECT_EQ(e.WaitForMultipleObjects(std::vector<EventHandle>(kMaximumWaitObjects, h), 0), kWaitTimeout);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(e.WaitForMultipleObjects({h}, 60), kWaitTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);
  EXPECT_TRUE(e.CloseHandle(h));
}

TEST_P(PlatformConformance, EventsSetFromAnotherThreadEndsAnEndlessWait) {
  Events& e = p_->events();
  const EventHandle stop = e.CreateEvent(true, false);
  const EventHandle data = e.CreateEvent(true, false);
  std::atomic<int> dataSeen{0};
  std::atomic<bool> stopped{false};
  std::thread worker([&] {
    for (;;) {
      const std::uint32_t r = e.WaitForMultipleObjects({data, stop}, kInfinite);
      if (r == kWaitObject0) {
        e.ResetEvent(data);
        ++dataSeen;
      } else {
        stopped = r == kWaitObject0 + 1;
        return;
      }
    }
  });
  e.SetEvent(data);
  for (int i = 0; i < 200 && dataSeen == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_GE(dataSeen.load(), 1);
  e.SetEvent(stop);
  worker.join();
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(e.CloseHandle(stop));
  EXPECT_TRUE(e.CloseHandle(data));
}

#ifdef _WIN32
// The registry of the platform is never touched here; the roots still go to a scratch key.
const PlatformBackend kSystemBackend{"Win32", [] {
                                       Win32Options o;
                                       o.registryRoot = "Software\\VRNKETest\\platform";
                                       return CreateWin32Platform(o);
                                     }};
#else
const PlatformBackend kSystemBackend{"Posix", [] { return CreatePosixPlatform(); }};
#endif

INSTANTIATE_TEST_SUITE_P(Backends, PlatformConformance, ::testing::Values(kSystemBackend),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace plat
