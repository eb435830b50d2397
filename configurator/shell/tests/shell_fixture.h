// The main window on the headless backend, over a real settings store in a temporary folder and,
// when a test asks for it, the monitor stand-in as a process of its own writing its log to a file.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "keys/suite_names.h"
#include "platform/posix.h"
#include "profile/DMUnit.h"
#include "runtime/crc32.h"
#include "runtime/text.h"
#include "shell/SettingMain.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/app/application.h"
#include "toolkit/backend.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/headless.h"
#include "toolkit/translate.h"
#include "toolkit/translation_service.h"

extern char** environ;

namespace vrnke::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

// The menu as a test drives it: it remembers how it was opened instead of opening; the
// captions are the window's menu's.
class TScriptedMenu : public TMenuExLink {
 public:
  using TMenuExLink::TMenuExLink;
  void ShowMainMenu(int64_t selected, tk::TVisualObject* target, tk::TvgPlacement placement) override {
    ++opened;
    lastSelected = selected;
    lastTarget = target;
    lastPlacement = placement;
  }

  int opened = 0;
  int64_t lastSelected = -1;
  tk::TVisualObject* lastTarget = nullptr;
  tk::TvgPlacement lastPlacement = tk::TvgPlacement::vgPlacementAbsolute;
};

class ShellFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768));
    tk::forms::SetFormsFolder(VRNKE_TEST_FORMS_DIR);
    platform_ = plat::CreatePosixPlatform();
    log_ = env_.root() + "/monitor.log";
    tk::Application().MessageBoxHook = [this](const tk::TMessageBoxRequest& r) {
      questions_.push_back(r);
      return answer_;
    };
  }
  void TearDown() override {
    if (form_) {
      monitorLink_->WaitIdle(0ms);
      delete form_;
    }
    form_ = nullptr;
    for (pid_t p : pids_) {
      kill(p, SIGKILL);
      waitpid(p, nullptr, 0);
    }
    if (monitorLink_) monitorLink_->WaitIdle(5s);
    monitorLink_.reset();
    delete DM;
    tk::Application().MessageBoxHook = nullptr;
    tk::SetTranslateFunction({});
    platform_.reset();
  }

  // ---- the monitor stand-in ----
  void StartMonitor(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {VRNKEMON_PATH, "--output", log_};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, VRNKEMON_PATH, nullptr, nullptr, argv.data(), environ), 0);
    pids_.push_back(pid);
    const auto until = Clock::now() + 5s;
    while (!platform_->windows().FindWindow(kMonitorWindowClass) && Clock::now() < until)
      std::this_thread::sleep_for(5ms);
    ASSERT_NE(platform_->windows().FindWindow(kMonitorWindowClass), 0u);
  }
  void StopMonitors() {
    for (pid_t p : pids_) {
      kill(p, SIGKILL);
      waitpid(p, nullptr, 0);
    }
    pids_.clear();
  }
  std::vector<std::string> LogLines() const {
    std::ifstream f(log_);
    std::vector<std::string> lines;
    for (std::string l; std::getline(f, l);) lines.push_back(l);
    return lines;
  }
  // Waits for the log to reach `count` lines (posted messages arrive later).
  bool WaitForLines(size_t count, std::chrono::milliseconds limit = 5s) const {
    const auto until = Clock::now() + limit;
    while (LogLines().size() < count && Clock::now() < until) std::this_thread::sleep_for(5ms);
    return LogLines().size() >= count;
  }

  // ---- the store ----
  Bytes Stored(std::string_view name) {
    plat::Registry& reg = platform_->registry();
    plat::RegKey key;
    if (reg.OpenKey(plat::kHkeyCurrentUser, kRegistryKeyPath, key) != plat::RegResult::Success) return {};
    uint32_t size = 0;
    Bytes data;
    if (reg.QueryValue(key, name, nullptr, nullptr, &size) == plat::RegResult::Success) {
      data.resize(size);
      reg.QueryValue(key, name, nullptr, data.data(), &size);
    }
    reg.CloseKey(key);
    return data;
  }
  void Store(std::string_view name, const void* data, size_t size,
             plat::RegType type = plat::RegType::Binary) {
    plat::Registry& reg = platform_->registry();
    plat::RegKey key;
    ASSERT_EQ(reg.CreateKey(plat::kHkeyCurrentUser, kRegistryKeyPath, key), plat::RegResult::Success);
    ASSERT_EQ(reg.SetValue(key, name, type, data, uint32_t(size)), plat::RegResult::Success);
    reg.CloseKey(key);
  }
  Bytes Profile() { return Stored(kCurrentProfileValue); }
  Bytes AllProfiles() { return Stored(kAllProfilesValue); }
  // Button record k of the stored current profile.
  TBUTTONFUNCINFO StoredKey(int k) {
    const Bytes p = Profile();
    TMouseProfileInfoEx info{};
    EXPECT_EQ(p.size(), sizeof info);
    if (p.size() == sizeof info) std::memcpy(&info, p.data(), sizeof info);
    return info.ConfigInfo.ButtonFuncInfo[k];
  }
  static std::string Crc(const Bytes& b) { return rt::Format("%08x", rt::Crc32(b.data(), b.size())); }

  // ---- the program ----
  // The data module and the main window as the program creates them.
  TVRNKECFGMAIN& Start() {
    errors_.clear();
    tk::TranslationService().Install();  // as the program does at its start
    tk::Application().OnException = [this](rt::TComponent*, const std::exception& e) {
      errors_.push_back(e.what());
    };
    monitorLink_ = std::make_unique<TMonitorLink>(platform_->windows(), platform_->shell());
    monitorLink_->SetAnswerTime(answerTime_);
    CreateDataModule(nullptr, *platform_, [this](const std::exception& e) { errors_.push_back(e.what()); });
    TMainWindowServices services;
    services.platform = platform_.get();
    services.monitor = monitorLink_.get();
    services.languageFolder = languageFolder_;
    services.singleKeyDialog = [this](TSINGLEKEYINFO& info) {
      ++dialogs_;
      info = singleKey_;  // a dialog writes its key back whatever the answer
      return dialogResult_;
    };
    services.comboKeyDialog = [this](TCOMBOKEYINFO& info) {
      ++dialogs_;
      info = comboKey_;
      return dialogResult_;
    };
    if (!realMenu_)
      services.makeMenuLink = [this](TqvMenuEx& menu) {
        auto m = std::make_unique<TScriptedMenu>(menu);
        menu_ = m.get();
        return m;
      };
    form_ = new TVRNKECFGMAIN(nullptr, services);
    tk::Application().OnException = nullptr;
    return *form_;
  }
  // A key chosen through its button and the menu, as a person does it.
  void Choose(int key, int32_t id) {
    form_->FUNCBTN1Click(form_->FunctionKeyButtons[size_t(key)]);
    form_->qvMenuEx1ItemsClick(nullptr, "", uint32_t(id), nullptr, 0);
  }
  std::string Label(int key) const { return form_->FunctionKeyButtons[size_t(key)]->Text(); }

 public:
  plat::Platform& Platform() { return *platform_; }

 protected:
  plat::testing::IsolatedEnv env_;  // before the platform: it reads the environment when made
  std::unique_ptr<plat::Platform> platform_;
  std::unique_ptr<TMonitorLink> monitorLink_;
  std::chrono::milliseconds answerTime_ = TMonitorLink::kDefaultAnswerTime;
  TVRNKECFGMAIN* form_ = nullptr;
  TScriptedMenu* menu_ = nullptr;
  std::string log_;
  bool realMenu_ = false;  // the window's own menu instead of the scripted one
  std::string languageFolder_ = VRNKE_TEST_BIN_DIR;
  std::vector<pid_t> pids_;
  std::vector<std::string> errors_;
  std::vector<tk::TMessageBoxRequest> questions_;
  int answer_ = tk::mrNo;
  int dialogs_ = 0;
  int dialogResult_ = tk::mrCancel;
  TSINGLEKEYINFO singleKey_{};
  TCOMBOKEYINFO comboKey_{};
};

}  // namespace vrnke::test
