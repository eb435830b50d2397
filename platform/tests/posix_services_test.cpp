// Shell, folders, locale and library loading of the POSIX backend.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "platform/posix.h"
#include "testing/platform/temp_dir.h"

namespace plat {
namespace {

using namespace std::chrono_literals;

std::string ReadFile(const std::string& p) {
  std::ifstream f(p);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

bool WaitForFile(const std::string& p) {
  auto until = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < until) {
    if (std::filesystem::exists(p) && !ReadFile(p).empty()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

TEST(Shell, OpenStartsTheProgramInItsWorkingFolderWithAndWithoutExe) {
  testing::IsolatedEnv env;
  auto p = CreatePosixPlatform();
  std::string dir = env.root() + "/bin";
  std::filesystem::create_directories(dir);
  std::string prog = dir + "/VRNKEMon";
  // Written aside and renamed, so the test never reads half of it.
  std::ofstream(prog) << "#!/bin/sh\n{ pwd; echo \"$#\"; } > started.tmp && mv started.tmp started.txt\n";
  chmod(prog.c_str(), 0755);
  // The configuration program asks for "VRNKEMon.exe": the file without the suffix is started.
  EXPECT_TRUE(p->shell().ShellOpen("VRNKEMon.exe", dir));
  ASSERT_TRUE(WaitForFile(dir + "/started.txt"));
  EXPECT_EQ(ReadFile(dir + "/started.txt"), dir + "\n0\n");  // in its folder, no arguments

  std::filesystem::remove(dir + "/started.txt");
  EXPECT_TRUE(p->shell().ShellOpen(prog, dir));  // an absolute name as it is
  EXPECT_TRUE(WaitForFile(dir + "/started.txt"));

  EXPECT_FALSE(p->shell().ShellOpen("Missing.exe", dir));
  std::ofstream(dir + "/plain.txt") << "not a program";
  EXPECT_FALSE(p->shell().ShellOpen("plain.txt", dir));
  EXPECT_FALSE(p->shell().ShellOpen("VRNKEMon.exe", dir + "/nonexistent"));
}

TEST(Shell, StartedProgramInheritsNoMutexOrWindow) {
  // The configuration program starts the monitor while it holds its single-instance mutex and
  // owns a window; the monitor must not keep either alive after the configuration program ends.
  testing::IsolatedEnv env;
  auto p = CreatePosixPlatform();
  std::string prog = env.root() + "/sleeper";
  std::ofstream(prog) << "#!/bin/sh\necho up > up.txt\nsleep 2\n";
  chmod(prog.c_str(), 0755);
  MutexHandle m = p->mutexes().CreateMutex("VRNKECFGCLASS", true);
  ASSERT_NE(m, 0u);
  WindowHandle w = p->windows().RegisterWindow("TVRNKECFGMAIN",
                                               [](std::uint32_t, WParam, LParam) -> LResult { return 0; });
  ASSERT_NE(w, 0u);
  ASSERT_TRUE(p->shell().ShellOpen("sleeper", env.root()));
  p->mutexes().ReleaseMutex(m);
  p->mutexes().CloseHandle(m);
  p->windows().DestroyWindow(w);
  EXPECT_EQ(p->mutexes().OpenMutex("VRNKECFGCLASS"), 0u);
  EXPECT_EQ(p->windows().FindWindow("TVRNKECFGMAIN"), 0u);
  EXPECT_TRUE(WaitForFile(env.root() + "/up.txt"));  // it really ran meanwhile
}

TEST(Shell, StartedProgramHoldsNoneOfTheCallersFiles) {
  // As the system's shell starts a program: no handle of the caller goes with it. A started
  // monitor that kept the caller's output pipe open would keep whoever reads that pipe (a
  // terminal pipeline, a test runner) waiting until the monitor ends.
  testing::IsolatedEnv env;
  auto p = CreatePosixPlatform();
  std::string prog = env.root() + "/lister";
  std::ofstream(prog) << "#!/bin/sh\nout=$(readlink /proc/$$/fd/1)\n"
                         "{ ls /proc/$$/fd; echo \"$out\"; } > fds.tmp\nmv fds.tmp fds.txt\nsleep 3\n";
  chmod(prog.c_str(), 0755);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const int savedOut = ::dup(1);
  ASSERT_EQ(::dup2(pipeFds[1], 1), 1);  // our standard output is a pipe, as under a runner
  const bool started = p->shell().ShellOpen("lister", env.root());
  ::dup2(savedOut, 1);
  ::close(savedOut);
  ::close(pipeFds[1]);
  ASSERT_TRUE(started);
  ASSERT_TRUE(WaitForFile(env.root() + "/fds.txt"));
  // Only standard input, output and error (on the null device), and the shell's own descriptor
  // for reading its script.
  std::istringstream fds(ReadFile(env.root() + "/fds.txt"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(fds, line);) lines.push_back(line);
  ASSERT_FALSE(lines.empty());
  const std::string outTarget = lines.back();  // where its standard output goes
  const std::set<std::string> open(lines.begin(), lines.end() - 1);
  EXPECT_EQ(outTarget, "/dev/null");
  EXPECT_LE(open.size(), 5u) << ReadFile(env.root() + "/fds.txt");
  // The pipe's reading end sees its end at once, although the program still runs.
  pollfd end{pipeFds[0], POLLIN, 0};
  ASSERT_EQ(::poll(&end, 1, 1000), 1) << "the started program holds the caller's pipe";
  char c;
  EXPECT_EQ(::read(pipeFds[0], &c, 1), 0);
  ::close(pipeFds[0]);
}

TEST(Libraries, AnAttachingLibraryGetsItsPlatformUntilItsLastFree) {
  testing::IsolatedEnv env;
  auto p = CreatePosixPlatform();
  using PtrFn = void* (*)();
  using CountFn = int (*)();
  LibraryHandle h = p->libraries().LoadLibrary("plat_testlib.dll");
  ASSERT_NE(h, nullptr);
  auto attached = reinterpret_cast<PtrFn>(p->libraries().GetProcAddress(h, "AttachedPlatform"));
  auto calls = reinterpret_cast<CountFn>(p->libraries().GetProcAddress(h, "AttachCalls"));
  ASSERT_TRUE(attached && calls);
  EXPECT_EQ(attached(), static_cast<void*>(p.get()));
  const int before = calls();
  LibraryHandle again = p->libraries().LoadLibrary("plat_testlib.dll");
  EXPECT_EQ(again, h);
  EXPECT_TRUE(p->libraries().FreeLibrary(again));
  EXPECT_EQ(attached(), static_cast<void*>(p.get()));  // still loaded once
  EXPECT_EQ(calls(), before + 1);
  // Kept loaded by a second load of our own, so the library can be asked afterwards.
  void* raw = ::dlopen((p->shell().ExecutableFolder() + "/libplat_testlib.so").c_str(), RTLD_NOW);
  ASSERT_NE(raw, nullptr);
  EXPECT_TRUE(p->libraries().FreeLibrary(h));
  EXPECT_EQ(attached(), nullptr);
  // A platform that goes away while a library is loaded through it detaches it as well.
  auto other = CreatePosixPlatform();
  ASSERT_NE(other->libraries().LoadLibrary("plat_testlib.dll"), nullptr);
  EXPECT_EQ(attached(), static_cast<void*>(other.get()));
  other.reset();
  EXPECT_EQ(attached(), nullptr);
  ::dlclose(raw);
}

TEST(MessageBox, GoesToThePresenterOrToStandardError) {
  testing::IsolatedEnv env;
  auto p = CreatePosixPlatform();
  std::vector<MessageBoxRequest> shown;
  MessageBoxPresenter previous = SetMessageBoxPresenter([&](const MessageBoxRequest& r) {
    shown.push_back(r);
    return 7;
  });
  EXPECT_EQ(p->windows().MessageBox("qvHook.dll can not be found!", "Error", kMbIconError), 7);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "qvHook.dll can not be found!");
  EXPECT_EQ(shown[0].caption, "Error");
  EXPECT_EQ(shown[0].type, kMbIconError);
  SetMessageBoxPresenter(nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(p->windows().MessageBox("text", "Caption", kMbOk), kIdOk);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Caption: text\n");
  SetMessageBoxPresenter(previous);
}

TEST(Locale, LanguageIdComesFromTheEnvironment) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    LangID expected;
  };
  const Case cases[] = {
      {"", "", "zh_CN.UTF-8", 0x0804},
      {"", "", "zh_TW.UTF-8", 0x0404},
      {"", "", "zh_HK.UTF-8", 0x0404},
      {"", "", "en_US.UTF-8", 0x0409},
      {"", "", "ja_JP.eucJP", 0x0411},
      {"", "", "de_DE@euro", 0x0407},
      {"", "", "en_GB", 0x0809},
      {"", "", "pt", 0x0416},
      {"", "", "zh", 0x0804},
      {"", "", "C", 0x0409},
      {"", "", "POSIX", 0x0409},
      {"", "", "xx_YY", 0x0409},
      {"", "", "", 0x0409},
      {"ja_JP.UTF-8", "fr_FR", "de_DE", 0x0411},
      {"", "fr_FR.UTF-8", "de_DE", 0x040C},
  };
  auto p = CreatePosixPlatform();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.lcAll) + "|" + c.lcMessages + "|" + c.lang);
    setenv("LC_ALL", c.lcAll, 1);
    setenv("LC_MESSAGES", c.lcMessages, 1);
    setenv("LANG", c.lang, 1);
    EXPECT_EQ(p->locale().GetSystemDefaultLangID(), c.expected);
    EXPECT_EQ(p->locale().GetUserDefaultLCID(), c.expected);
  }
  setenv("LC_ALL", "zh_CN.UTF-8", 1);
  EXPECT_EQ(p->locale().GetLocaleInfo(kLocaleUserDefault, LocaleField::SAbbrevLangName), "CHS");
  setenv("LC_ALL", "en_US.UTF-8", 1);
  EXPECT_EQ(p->locale().GetLocaleInfo(kLocaleUserDefault, LocaleField::SAbbrevLangName), "ENU");
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LANG");
}

}  // namespace
}  // namespace plat
