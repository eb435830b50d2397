#include "toolkit/app/application.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "runtime/errors.h"
#include "toolkit/app/form.h"
#include "toolkit/controls.h"
#include "toolkit/headless.h"
#include "toolkit/translate.h"

namespace tk {
namespace {

class App : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = new THeadlessBackend(1366, 768);
    SetBackend(std::unique_ptr<TBackend>(backend_));
  }
  void TearDown() override {
    Application().OnModalIdle = nullptr;
    Application().MessageBoxHook = nullptr;
    Application().OnException.Clear();
    Application().SetMainForm(nullptr);
    SetTranslateFunction({});
  }

  // Answers the next box by clicking the button with `result` through the headless pointer.
  void AnswerBoxWith(int result) {
    Application().OnModalIdle = [this, result] {
      TMessageBox* box = Application().ActiveMessageBox();
      if (!box) return;
      seen_.push_back(box->Request());
      const TPointF p = box->ButtonScreenCenter(result);
      ASSERT_GE(p.x, 0) << "no button " << result;
      backend_->Click(p.x, p.y);
    };
  }

  std::unique_ptr<TWindow> ShownWindow(int w = 600, int h = 400) {
    auto win = std::make_unique<TWindow>(nullptr);
    win->SetClientSize(w, h);
    win->SetPosition(100, 50);
    win->Root()->SetBounds(0, 0, float(w), float(h));
    win->Show();
    return win;
  }

  THeadlessBackend* backend_ = nullptr;
  std::vector<TMessageBoxRequest> seen_;
};

TEST_F(App, AWaitingHintAppearsFromTheMessageLoopWithoutInput) {
  double now = 50;
  SetClock([&] { return now; });
  auto win = ShownWindow();
  auto* b = new TvgBitmapStateButton(win.get());
  b->SetBounds(0, 0, 100, 30);
  b->SetParent(win->Root());
  b->SetHint("Close");
  b->SetShowHint(true);
  backend_->MoveMouse(110, 60);
  Application().ProcessMessages();
  EXPECT_EQ(win->Scene()->ActiveHint(), "");
  int rounds = 0;
  while (win->Scene()->ActiveHint().empty() && rounds < 100) {
    now += 0.125;
    ++rounds;
    Application().HandleMessage();
  }
  EXPECT_EQ(win->Scene()->ActiveHint(), "Close");
  EXPECT_EQ(rounds, 4);  // half a second of the loop's clock
  SetClock(nullptr);
}

TEST_F(App, MessageBoxReturnsTheClickedButtonsModalResult) {
  struct Case {
    TMsgDlgButtons buttons;
    int click;
  };
  for (const Case& c :
       {Case{mbYesNo, mrYes}, Case{mbYesNo, mrNo}, Case{mbOK, mrOk}, Case{mbOKCancel, mrCancel},
        Case{mbYesNoCancel, mrCancel}, Case{mbAbort | mbRetry | mbIgnore, mrRetry}}) {
    auto host = ShownWindow();
    AnswerBoxWith(c.click);
    EXPECT_EQ(
        Application().MessageBox("Question?", "Title", TMsgDlgType::mtConfirmation, c.buttons, host.get()),
        c.click);
    // The box is gone from the host's scene afterwards.
    EXPECT_EQ(Application().ActiveMessageBox(), nullptr);
    EXPECT_EQ(host->Root()->ChildCount(), 0);
  }
}

TEST_F(App, ButtonsAreInTheirUsualOrderAndTranslated) {
  EXPECT_EQ(MessageBoxButtonList(mbYesNoCancel),
            (std::vector<std::pair<int, std::string>>{{mrYes, "Yes"}, {mrNo, "No"}, {mrCancel, "Cancel"}}));
  EXPECT_EQ(MessageBoxButtonList(0), (std::vector<std::pair<int, std::string>>{{mrOk, "OK"}}));

  SetTranslateFunction([](const std::string& t) { return t == "Yes" ? "是" : t == "No" ? "否" : t; });
  auto host = ShownWindow();
  std::vector<std::string> captions;
  std::vector<float> lefts;
  Application().OnModalIdle = [&] {
    TMessageBox* box = Application().ActiveMessageBox();
    for (TvgButton* b : box->Buttons()) {
      captions.push_back(b->DisplayText());
      lefts.push_back(b->AbsoluteRect().left);
    }
    box->Choose(mrNo);
  };
  EXPECT_EQ(Application().MessageBox("Save?", "Warning!", TMsgDlgType::mtWarning, mbYesNo, host.get()), mrNo);
  EXPECT_EQ(captions, (std::vector<std::string>{"是", "否"}));
  ASSERT_EQ(lefts.size(), 2u);
  EXPECT_LT(lefts[0], lefts[1]);
}

TEST_F(App, KeysAnswerTheBox) {
  struct Case {
    TMsgDlgButtons buttons;
    std::vector<uint16_t> keys;
    int expected;  // 0: the keys do not answer; the test then clicks the last button
  };
  const Case cases[] = {
      {mbOKCancel, {vk::Escape}, mrCancel},
      {mbOK, {vk::Escape}, mrOk},
      {mbYesNo, {vk::Escape}, 0},
      {mbYesNo, {vk::Return}, mrYes},
      {mbYesNoCancel, {vk::Return}, mrYes},
      {mbYesNo, {vk::Right, vk::Return}, mrNo},
      {mbYesNo, {vk::Right, vk::Right, vk::Left, vk::Space}, mrYes},
      {mbYesNoCancel, {vk::Left, vk::Return}, mrYes},  // nothing left of the first button
  };
  for (const Case& c : cases) {
    auto host = ShownWindow();
    int rounds = 0;
    Application().OnModalIdle = [&] {
      TMessageBox* box = Application().ActiveMessageBox();
      if (++rounds == 1) {
        for (uint16_t k : c.keys)
          if (Application().ActiveMessageBox()) backend_->Key(k);
      } else if (rounds > 3) {
        box->Choose(static_cast<int>(box->Buttons().back()->Tag()));
      }
    };
    const int result =
        Application().MessageBox("Text", "Title", TMsgDlgType::mtInformation, c.buttons, host.get());
    EXPECT_EQ(result, c.expected ? c.expected : MessageBoxButtonList(c.buttons).back().first)
        << c.buttons << " after " << c.keys.size() << " keys";
  }
}

TEST_F(App, BoxCoversTheHostSoItsControlsAreNotReachable) {
  auto host = ShownWindow();
  auto* behind = new TvgButton(host.get());
  behind->SetParent(host->Root());
  behind->SetBounds(0, 0, 60, 30);
  int clicks = 0;
  behind->OnClick = [&](rt::TComponent*) { ++clicks; };
  int rounds = 0;
  Application().OnModalIdle = [&] {
    if (++rounds == 1) {
      backend_->Click(host->Left() + 30, host->Top() + 15);  // on the button behind the box
    } else {
      Application().ActiveMessageBox()->Choose(mrOk);
    }
  };
  Application().MessageBox("Text", "Title", TMsgDlgType::mtInformation, mbOK, host.get());
  EXPECT_EQ(clicks, 0);
  backend_->Click(host->Left() + 30, host->Top() + 15);
  EXPECT_EQ(clicks, 1);
}

TEST_F(App, WithoutAShownWindowTheBoxHasAWindowOfItsOwnCentredOnTheScreen) {
  TRect bounds;
  Application().OnModalIdle = [&] {
    TMessageBox* box = Application().ActiveMessageBox();
    bounds = box->HostWindow()->Handle()->Bounds();
    const TPointF p = box->ButtonScreenCenter(mrOk);
    backend_->Click(p.x, p.y);
  };
  EXPECT_EQ(Application().MessageBox("Alone", "Title", TMsgDlgType::mtError, mbOK), mrOk);
  EXPECT_GT(bounds.width, 0);
  EXPECT_NEAR(bounds.x + bounds.width / 2.0, 1366 / 2.0, 2);
  EXPECT_NEAR(bounds.y + bounds.height / 2.0, 768 / 2.0, 2);
}

TEST_F(App, BoxGoesToTheMainWindowWhenNoHostIsGiven) {
  auto main = ShownWindow();
  Application().SetMainForm(main.get());
  TWindow* host = nullptr;
  Application().OnModalIdle = [&] {
    host = Application().ActiveMessageBox()->HostWindow();
    Application().ActiveMessageBox()->Choose(mrOk);
  };
  Application().MessageBox("Text", "Title");
  EXPECT_EQ(host, main.get());
}

TEST_F(App, ClosingTheHostEndsTheBoxWithCancel) {
  auto host = ShownWindow();
  Application().OnModalIdle = [&] { host->Close(); };
  EXPECT_EQ(Application().MessageBox("Text", "Title", TMsgDlgType::mtWarning, mbYesNo, host.get()), mrCancel);
}

// A backend whose windows are real ones: the box is a window of its own over its host.
class RealWindowsBackend : public THeadlessBackend {
 public:
  using THeadlessBackend::THeadlessBackend;
  bool RealWindows() const override { return true; }
};

TEST(AppWithRealWindows, TheBoxIsAWindowOverItsHostKeptOnTheScreenAndTheHostTakesNoInput) {
  auto* backend = new RealWindowsBackend(1366, 768);
  SetBackend(std::unique_ptr<TBackend>(backend));
  struct Case {
    int hostX, hostY;
    bool centred;  // else pushed onto the screen at its right and bottom edges
  };
  for (const Case c : {Case{100, 50, true}, Case{1200, 700, false}}) {
    SCOPED_TRACE(c.hostX);
    TWindow host(nullptr);
    host.SetClientSize(600, 400);
    host.SetPosition(c.hostX, c.hostY);
    host.Root()->SetBounds(0, 0, 600, 400);
    host.Show();
    int hostClicks = 0;
    auto* behind = new TvgButton(&host);
    behind->SetParent(host.Root());
    behind->SetBounds(0, 0, 600, 400);
    behind->OnClick = [&](rt::TComponent*) { ++hostClicks; };
    TWindow* boxWindow = nullptr;
    TRect bounds;
    bool hostEnabled = true;
    Application().OnModalIdle = [&] {
      TMessageBox* box = Application().ActiveMessageBox();
      boxWindow = box->HostWindow();
      bounds = boxWindow->Handle()->Bounds();
      hostEnabled = host.InputEnabled();
      if (c.centred) backend->Click(host.Left() + 5, host.Top() + 5);  // beside the box
      const TPointF p = box->ButtonScreenCenter(mrNo);
      backend->Click(p.x, p.y);
    };
    EXPECT_EQ(Application().MessageBox("Text", "Title", TMsgDlgType::mtConfirmation, mbYesNo, &host), mrNo);
    Application().OnModalIdle = nullptr;
    ASSERT_NE(boxWindow, nullptr);
    EXPECT_NE(boxWindow, &host);
    EXPECT_FALSE(hostEnabled);
    EXPECT_EQ(hostClicks, 0);
    EXPECT_TRUE(host.InputEnabled());
    if (c.centred) {
      EXPECT_EQ(bounds.x, 100 + (600 - bounds.width) / 2);
      EXPECT_EQ(bounds.y, 50 + (400 - bounds.height) / 2);
    } else {
      EXPECT_EQ(bounds.x + bounds.width, 1366);
      EXPECT_EQ(bounds.y + bounds.height, 768);
    }
  }
  SetBackend(nullptr);
}

TEST_F(App, AnErrorInAnEventHandlerIsShownAndTheProgramGoesOn) {
  auto win = ShownWindow();
  auto* b = new TvgButton(win.get());
  b->SetParent(win->Root());
  b->SetBounds(10, 10, 80, 30);
  int clicks = 0;
  b->OnClick = [&](rt::TComponent*) {
    ++clicks;
    throw rt::ERegistryException::InvalidDataType("VRNKEProfile1.PFX");
  };
  std::vector<TMessageBoxRequest> shown;
  Application().MessageBoxHook = [&](const TMessageBoxRequest& r) {
    shown.push_back(r);
    return mrOk;
  };
  Application().SetTitle("Vorne Tavrix Setting");
  // The clicks arrive through the loop, as the platform's input does.
  int pending = 2;
  const int id = Application().AddMessageSource([&] {
    if (pending == 0) return false;
    --pending;
    backend_->Click(win->Left() + 50, win->Top() + 25);
    return true;
  });
  Application().ProcessMessages();
  Application().ProcessMessages();
  Application().RemoveMessageSource(id);
  EXPECT_EQ(pending, 0);
  EXPECT_EQ(clicks, 2);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].type, TMsgDlgType::mtError);
  EXPECT_EQ(shown[0].buttons, mbOK);
  EXPECT_EQ(shown[0].title, "Vorne Tavrix Setting");
  EXPECT_NE(shown[0].text.find("VRNKEProfile1.PFX"), std::string::npos);
}

TEST_F(App, HandleExceptionShowsTheTextInARealBox) {
  auto main = ShownWindow();
  Application().SetMainForm(main.get());
  AnswerBoxWith(mrOk);
  Application().HandleException(std::runtime_error("disk on fire"));
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].text, "disk on fire");
  EXPECT_EQ(seen_[0].type, TMsgDlgType::mtError);
  // An assigned OnException takes the place of the box.
  std::string caught;
  Application().OnException = [&](rt::TComponent*, const std::exception& e) { caught = e.what(); };
  EXPECT_FALSE(Application().Guarded([] { throw rt::EConvertError("bad"); }));
  EXPECT_EQ(caught, "bad");
  EXPECT_EQ(seen_.size(), 1u);
}

TEST_F(App, CreateFormShowsCreationErrorsAndMakesTheFirstFormTheMainForm) {
  std::vector<std::string> shown;
  Application().MessageBoxHook = [&](const TMessageBoxRequest& r) {
    shown.push_back(r.text);
    return mrOk;
  };
  EXPECT_EQ(Application().CreateForm([](rt::TComponent*) -> TWindow* { throw rt::Exception("no form"); }),
            nullptr);
  EXPECT_EQ(shown, (std::vector<std::string>{"no form"}));
  TWindow* first = Application().CreateForm([](rt::TComponent* owner) { return new TWindow(owner); });
  TWindow* second = Application().CreateForm([](rt::TComponent* owner) { return new TWindow(owner); });
  EXPECT_EQ(Application().MainForm(), first);
  EXPECT_EQ(first->Owner(), &Application());
  delete second;
  delete first;
  EXPECT_EQ(Application().MainForm(), nullptr);
}

TEST_F(App, ShowModalRunsUntilAButtonGivesAModalResult) {
  TWindow dialog(nullptr);
  dialog.SetClientSize(300, 200);
  dialog.Root()->SetBounds(0, 0, 300, 200);
  auto* ok = new TvgButton(&dialog);
  ok->SetParent(dialog.Root());
  ok->SetBounds(10, 10, 80, 24);
  ok->SetModalResult(mrOk);
  int rounds = 0;
  Application().OnModalIdle = [&] {
    if (++rounds == 3) {
      const TPointF p = ok->LocalToScreen({40, 12});
      backend_->Click(p.x, p.y);
    }
  };
  EXPECT_TRUE(Application().InModalLoop() == false);
  EXPECT_EQ(Application().ShowModal(dialog), mrOk);
  EXPECT_GE(rounds, 3);
  EXPECT_FALSE(dialog.Visible());
  // Closed instead of answered: Cancel.
  Application().OnModalIdle = [&] { dialog.Close(); };
  EXPECT_EQ(Application().ShowModal(dialog), mrCancel);
}

TEST_F(App, MessageSourcesArePolledUntilRemoved) {
  int polls = 0;
  const int id = Application().AddMessageSource([&] {
    ++polls;
    return false;
  });
  Application().ProcessMessages();
  Application().HandleMessage();
  EXPECT_EQ(polls, 2);
  Application().RemoveMessageSource(id);
  Application().HandleMessage();
  EXPECT_EQ(polls, 2);
  // A failing source is reported and the loop goes on.
  std::vector<std::string> shown;
  Application().MessageBoxHook = [&](const TMessageBoxRequest& r) {
    shown.push_back(r.text);
    return mrOk;
  };
  const int bad = Application().AddMessageSource([]() -> bool { throw rt::Exception("source broke"); });
  Application().ProcessMessages();
  Application().RemoveMessageSource(bad);
  EXPECT_EQ(shown, (std::vector<std::string>{"source broke"}));
}

TEST_F(App, ScreenSizeAndTitle) {
  EXPECT_EQ(Application().ScreenSize(), (TPointF{1366, 768}));
  backend_->SetScreenSize(1920, 1080);
  EXPECT_EQ(Application().ScreenSize(), (TPointF{1920, 1080}));
  Application().SetPropertyText("Title", "Setting");
  EXPECT_EQ(Application().Title(), "Setting");
  // Without a taskbar button of its own, the main window carries the program's title.
  auto main = ShownWindow();
  Application().SetMainForm(main.get());
  Application().SetMainFormOnTaskBar(false);
  Application().SetTitle("Vorne Tavrix 设置");
  EXPECT_EQ(THeadlessBackend::Title(*main->Handle()), "Vorne Tavrix 设置");
  Application().SetMainFormOnTaskBar(true);
}

TEST_F(App, RunEndsWhenTheMainWindowCloses) {
  TWindow main(nullptr);
  main.SetClientSize(200, 100);
  Application().SetMainForm(&main);
  int polls = 0;
  const int id = Application().AddMessageSource([&] {
    if (++polls == 5) main.Close();
    return true;
  });
  Application().Run();
  Application().RemoveMessageSource(id);
  EXPECT_EQ(polls, 5);
  EXPECT_TRUE(main.Closed());
}

// A form whose creation handler fails still comes up; the error was shown.
struct TFailingForm : TForm {
  explicit TFailingForm(rt::TComponent* owner) : TForm(owner) {
    PublishHandler("FormCreate",
                   TNotifyEvent::Handler([](rt::TComponent*) { throw rt::Exception("create failed"); }));
  }
  std::string ClassName() const override { return "TFailingForm"; }
};

TEST_F(App, FormCreationHandlerErrorsAreShownAndTheFormStays) {
  const std::string file = ::testing::TempDir() + "/failing_" + std::to_string(::getpid()) + ".form";
  {
    FILE* f = std::fopen(file.c_str(), "w");
    std::fputs(
        "Failing : TFailingForm {\n  ClientWidth = 320\n  OnCreate = @FormCreate\n"
        "  Lbl : TvgLabel { Text = \"x\" }\n}\n",
        f);
    std::fclose(f);
  }
  std::vector<std::string> shown;
  Application().MessageBoxHook = [&](const TMessageBoxRequest& r) {
    shown.push_back(r.text);
    return mrOk;
  };
  TFailingForm form(nullptr);
  form.LoadDescription(file);
  EXPECT_EQ(shown, (std::vector<std::string>{"create failed"}));
  EXPECT_EQ(form.ClientWidth(), 320);
  EXPECT_NE(form.FindComponent("Lbl"), nullptr);
  // A faulty description is not an error to show but one to raise, naming the file.
  TFailingForm other(nullptr);
  EXPECT_THROW(other.LoadDescription(::testing::TempDir() + "/missing.form"), forms::EFormError);
}

}  // namespace
}  // namespace tk

namespace tk {
namespace {

TEST_F(App, ErrorsRaisedWhileAnErrorBoxIsOpenDoNotNestBoxes) {
  auto main = ShownWindow();
  Application().SetMainForm(main.get());
  // A source that fails on every round, also while the error box runs its loop.
  int failures = 0;
  const int id = Application().AddMessageSource([&]() -> bool {
    if (++failures > 6) return false;
    throw rt::Exception(failures % 2 ? "odd failure" : "even failure");
  });
  int deepest = 0, boxes = 0;
  std::vector<std::string> texts;
  Application().OnModalIdle = [&] {
    int depth = 0;
    for (TVisualObject* c : main->Root()->Children()) depth += c->ClassName() == "TvgRectangle";
    deepest = std::max(deepest, depth);
    if (TMessageBox* box = Application().ActiveMessageBox(); box && failures >= 6) {
      ++boxes;
      texts.push_back(box->Request().text);
      box->Choose(mrOk);
    }
  };
  Application().ProcessMessages();
  Application().RemoveMessageSource(id);
  EXPECT_EQ(deepest, 1);
  EXPECT_EQ(texts, (std::vector<std::string>{"odd failure", "even failure"}));
  EXPECT_EQ(boxes, 2);
}

}  // namespace
}  // namespace tk

namespace tk {
namespace {

TEST_F(App, WindowsBehindAModalWindowTakeNoClicks) {
  auto main = ShownWindow(600, 400);
  auto* behind = new TvgButton(main.get());
  behind->SetParent(main->Root());
  behind->SetBounds(0, 0, 100, 40);
  int clicks = 0;
  behind->OnClick = [&](rt::TComponent*) { ++clicks; };

  TWindow dialog(nullptr);
  dialog.SetClientSize(200, 100);
  dialog.SetPosition(700, 500);
  dialog.Root()->SetBounds(0, 0, 200, 100);
  auto* ok = new TvgButton(&dialog);
  ok->SetParent(dialog.Root());
  ok->SetBounds(10, 10, 80, 24);
  ok->SetModalResult(mrOk);
  int rounds = 0;
  Application().OnModalIdle = [&] {
    if (++rounds == 1) {
      backend_->Click(main->Left() + 50, main->Top() + 20);  // the main window's button
    } else {
      const TPointF p = ok->LocalToScreen({40, 12});
      backend_->Click(p.x, p.y);
    }
  };
  EXPECT_EQ(Application().ShowModal(dialog), mrOk);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(main->Root()->ChildCount(), 1);  // the shield is gone again
  backend_->Click(main->Left() + 50, main->Top() + 20);
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace tk
