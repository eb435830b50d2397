// Named mutexes and windows between threads and processes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/posix.h"
#include "testing/platform/temp_dir.h"

namespace plat {
namespace {

using namespace std::chrono_literals;

// A forked helper process and a pipe it reports on; killed on every exit path.
class Helper {
 public:
  template <typename Body>
  explicit Helper(Body body) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      body(fds[1]);
      _exit(0);
    }
    close(fds[1]);
    readFd_ = fds[0];
  }
  ~Helper() {
    Kill();
    if (readFd_ >= 0) close(readFd_);
  }
  // Waits for one byte from the helper.
  bool Ready() {
    char c;
    return read(readFd_, &c, 1) == 1;
  }
  void Kill() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  int Wait() {
    int status = -1;
    if (pid_ > 0) waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int readFd_ = -1;
};

void Signal(int fd) { (void)!write(fd, "x", 1); }

TEST(NamedMutex, SeenByAnotherProcessAndGoneWhenItsOwnerIsKilled) {
  testing::IsolatedEnv env;
  Helper owner([](int fd) {
    auto p = CreatePosixPlatform();
    if (p->mutexes().CreateMutex("VRNKECFGCLASS", true) == 0) _exit(1);
    Signal(fd);
    pause();
  });
  ASSERT_TRUE(owner.Ready());
  auto p = CreatePosixPlatform();
  MutexHandle h = p->mutexes().OpenMutex("VRNKECFGCLASS");
  EXPECT_NE(h, 0u);
  p->mutexes().CloseHandle(h);
  owner.Kill();
  EXPECT_EQ(p->mutexes().OpenMutex("VRNKECFGCLASS"), 0u);
  bool existed = true;
  MutexHandle mine = p->mutexes().CreateMutex("VRNKECFGCLASS", true, &existed);
  EXPECT_NE(mine, 0u);
  EXPECT_FALSE(existed);
  EXPECT_TRUE(p->mutexes().ReleaseMutex(mine));
}

// A monitor-like helper: counts posted messages, answers sent ones with msg + count.
void ServeWindow(int fd, const char* cls) {
  auto p = CreatePosixPlatform();
  Windows& w = p->windows();
  int posted = 0;
  bool quit = false;
  WindowHandle h = w.RegisterWindow(cls, [&](std::uint32_t msg, WParam wp, LParam) -> LResult {
    if (msg == kWmClose) quit = true;
    if (msg == 1) ++posted;
    if (msg == 2) {  // ask the sender's own window, while it waits for us
      WindowHandle back = w.FindWindow("TPEER");
      return back ? w.SendMessage(back, 3, wp, 0) + 1 : -1;
    }
    return static_cast<LResult>(msg) * 1000 + posted;
  });
  if (!h) _exit(1);
  Signal(fd);
  while (!quit) w.WaitAndProcessMessages(-1);
}

TEST(Windows, SendMessageAcrossProcessesReturnsTheHandlersResult) {
  testing::IsolatedEnv env;
  Helper monitor([](int fd) { ServeWindow(fd, "TVRNKEMONMAIN"); });
  ASSERT_TRUE(monitor.Ready());
  auto p = CreatePosixPlatform();
  Windows& w = p->windows();
  WindowHandle h = w.FindWindow("TVRNKEMONMAIN");
  ASSERT_NE(h, 0u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w.PostMessage(h, 1, 0, 0));
  // Posted before the send on the same handle: handled before it.
  EXPECT_EQ(w.SendMessage(h, 7035, 0, 0), 7035 * 1000 + 3);
  EXPECT_TRUE(w.SetForegroundWindow(h));
  EXPECT_EQ(w.FindWindow("TVRNKEMONMAIN"), h);

  // The target sends back to us while we wait: our handler runs, nobody deadlocks.
  int asked = 0;
  w.RegisterWindow("TPEER", [&](std::uint32_t msg, WParam wp, LParam) -> LResult {
    ++asked;
    return static_cast<LResult>(msg + wp);
  });
  EXPECT_EQ(w.SendMessage(h, 2, 10, 0), 14);
  EXPECT_EQ(asked, 1);

  EXPECT_EQ(w.SendMessage(h, kWmClose, 0, 0), kWmClose * 1000 + 3);
  EXPECT_EQ(monitor.Wait(), 0);
  EXPECT_EQ(w.SendMessage(h, 7035, 0, 0), 0);  // gone
}

TEST(Windows, SocketOfAKilledProcessIsNotFound) {
  testing::IsolatedEnv env;
  Helper monitor([](int fd) { ServeWindow(fd, "TVRNKEMONMAIN"); });
  ASSERT_TRUE(monitor.Ready());
  auto p = CreatePosixPlatform();
  WindowHandle h = p->windows().FindWindow("TVRNKEMONMAIN");
  ASSERT_NE(h, 0u);
  monitor.Kill();
  auto sockets = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(env.runtime()))
      if (e.path().extension() == ".sock") ++n;
    return n;
  };
  EXPECT_EQ(sockets(), 1);  // left behind by the dead process
  EXPECT_EQ(p->windows().SendMessage(h, 7035, 0, 0), 0);
  EXPECT_EQ(p->windows().FindWindow("TVRNKEMONMAIN"), 0u);
  EXPECT_EQ(sockets(), 0);  // and cleared by the search
  // A new monitor is found again.
  Helper again([](int fd) { ServeWindow(fd, "TVRNKEMONMAIN"); });
  ASSERT_TRUE(again.Ready());
  WindowHandle h2 = p->windows().FindWindow("TVRNKEMONMAIN");
  ASSERT_NE(h2, 0u);
  EXPECT_EQ(p->windows().SendMessage(h2, 5, 0, 0), 5000);
}

TEST(Windows, FindingAWindowThatStoppedAcceptingNeverHangs) {
  testing::IsolatedEnv env;
  Helper stuck([](int fd) {
    auto p = CreatePosixPlatform();
    p->windows().RegisterWindow("TSTUCK", [](std::uint32_t, WParam, LParam) -> LResult { return 0; });
    Signal(fd);
    pause();  // never pumps: connections pile up unaccepted
  });
  ASSERT_TRUE(stuck.Ready());
  // Each search leaves one connection in the listener's backlog until it is full.
  for (int i = 0; i < 200; ++i) {
    auto p = CreatePosixPlatform();
    ASSERT_NE(p->windows().FindWindow("TSTUCK"), 0u) << "search " << i;
  }
}

TEST(Windows, PostingToAWindowThatStoppedPumpingFailsInsteadOfBlocking) {
  testing::IsolatedEnv env;
  Helper stuck([](int fd) {
    auto p = CreatePosixPlatform();
    p->windows().RegisterWindow("TSTUCK", [](std::uint32_t, WParam, LParam) -> LResult { return 0; });
    p->windows().ProcessPendingMessages();  // takes the connection, then never pumps again
    Signal(fd);
    pause();
  });
  ASSERT_TRUE(stuck.Ready());
  auto p = CreatePosixPlatform();
  WindowHandle h = p->windows().FindWindow("TSTUCK");
  ASSERT_NE(h, 0u);
  int posted = 0;
  while (posted < 1000000 && p->windows().PostMessage(h, 1, 0, 0)) ++posted;
  EXPECT_GT(posted, 0);
  EXPECT_LT(posted, 1000000);
}

}  // namespace
}  // namespace plat
