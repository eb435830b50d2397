#include <gtest/gtest.h>

#include <map>

#include "runtime/errors.h"
#include "test_util.h"

namespace tk {
namespace {

struct ControlsFixture : ::testing::Test {
  test::HeadlessScope backend;
  std::unique_ptr<TWindow> window = std::make_unique<TWindow>(nullptr);
  ControlsFixture() {
    window->SetClientSize(600, 400);
    window->Show();
  }
  ~ControlsFixture() override { SetTranslateFunction(nullptr); }
  template <class T>
  T* Add(float x, float y, float w, float h, TVisualObject* parent = nullptr) {
    auto* o = new T(window.get());
    o->SetBounds(x, y, w, h);
    o->SetParent(parent ? parent : window->Root());
    return o;
  }
};

TEST(PublishedEnums, ReadTheirAliasesAndWriteTheStoredName) {
  TvgPath path(nullptr);
  TvgImage image(nullptr);
  TvgScrollBar bar(nullptr);
  TvgText text(nullptr);
  struct Case {
    rt::TPersistent* object;
    const char* property;
    const char* in;
    const char* out;
  } cases[] = {
      {&path, "WrapMode", "pwFit", "Fit"},
      {&path, "WrapMode", "stretch", "Stretch"},
      {&image, "WrapMode", "vgImageTile", "Tile"},
      {&image, "WrapMode", "Original", "Original"},
      {&bar, "Orientation", "orVertical", "Vertical"},
      {&text, "Align", "Client", "vaClient"},
      {&text, "Align", "VATOP", "vaTop"},
      {&text, "HorzTextAlign", "taTrailing", "Far"},
  };
  for (const auto& c : cases) {
    c.object->SetPropertyText(c.property, c.in);
    EXPECT_EQ(c.object->GetPropertyText(c.property), c.out) << c.property << " = " << c.in;
  }
  try {
    image.SetPropertyText("WrapMode", "Mosaic");
    ADD_FAILURE() << "an unknown wrap mode was taken";
  } catch (const rt::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'Mosaic' is not an image wrap mode");
  }
  EXPECT_EQ(image.GetPropertyText("WrapMode"), "Original");
}

TEST(TextState, ReportsEachChangeOnceAndOnlyAChange) {
  std::vector<TTextChange> seen;
  TTextState state(false, [&](TTextChange c) { seen.push_back(c); });
  SetTranslateFunction([](const std::string& s) { return s == "OK" ? std::string("确定") : s; });
  state.SetText("OK");
  state.SetText("OK");
  EXPECT_EQ(state.Shown(), "确定");
  state.SetHorzAlign(TTextAlign::Center);  // already centred
  state.SetHorzAlign(TTextAlign::Far);
  state.SetVertAlign(TTextAlign::Near);
  state.SetWordWrap(false);
  state.SetWordWrap(true);
  state.Font().SetFamily("黑体");
  state.Retranslate();  // the same translation: nothing to report
  state.SetAutoTranslate(false);
  EXPECT_EQ(state.Shown(), "OK");
  EXPECT_EQ(state.Text(), "OK");
  SetTranslateFunction(nullptr);
  EXPECT_EQ(seen,
            (std::vector<TTextChange>{TTextChange::Text, TTextChange::Align, TTextChange::Align,
                                      TTextChange::WordWrap, TTextChange::Font, TTextChange::AutoTranslate}));
}

TEST_F(ControlsFixture, TextControlsTranslateAutomaticallyAndAgainOnRequest) {
  std::map<std::string, std::string> table{{"Cut", "剪切"}, {"OK", "确定"}};
  SetTranslateFunction([&](const std::string& s) {
    auto it = table.find(s);
    return it == table.end() ? s : it->second;
  });
  auto* label = Add<TvgLabel>(0, 0, 100, 20);
  label->SetText("Cut");
  auto* button = Add<TvgButton>(0, 30, 80, 22);
  button->SetText("OK");
  auto* raw = Add<TvgLabel>(0, 60, 100, 20);
  raw->SetAutoTranslate(false);
  raw->SetText("Cut");
  EXPECT_EQ(label->Text(), "Cut");  // the source text stays what was set
  EXPECT_EQ(label->DisplayText(), "剪切");
  EXPECT_EQ(raw->DisplayText(), "Cut");
  ASSERT_NE(button->TextObject(), nullptr);
  EXPECT_EQ(button->TextObject()->DisplayText(), "确定");

  table["Cut"] = "剪下";
  EXPECT_EQ(label->DisplayText(), "剪切");
  RetranslateAllScenes();
  EXPECT_EQ(label->DisplayText(), "剪下");
  SetTranslateFunction(nullptr);
  window->Scene()->Retranslate();
  EXPECT_EQ(label->DisplayText(), "Cut");
  EXPECT_EQ(button->TextObject()->DisplayText(), "OK");
}

TEST_F(ControlsFixture, ChineseCaptionIsDrawnInTheWindow) {
  SetTranslateFunction([](const std::string& s) { return s == "Copy" ? std::string("复制") : s; });
  auto* label = Add<TvgLabel>(0, 0, 120, 30);
  label->Font().SetFamily("黑体");
  label->Font().SetSize(20);
  label->SetText("Copy");
  ASSERT_EQ(label->DisplayText(), "复制");
  EXPECT_EQ(test::UnknownGlyphs(label->DisplayText(), label->Font()), 0);
  const TBitmap chinese = window->Render();
  EXPECT_GT(test::InkPixels(chinese), 60);

  // The same window untranslated draws something else where the caption is.
  SetTranslateFunction(nullptr);
  window->Scene()->Retranslate();
  ASSERT_EQ(label->DisplayText(), "Copy");
  const TBitmap english = window->Render();
  int differing = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 120; ++x) differing += chinese.Pixel(x, y) != english.Pixel(x, y);
  EXPECT_GT(differing, 100);
}

TEST_F(ControlsFixture, ATextStyleKeepsItsFontUntilTheControlSetsOne) {
  auto* button = Add<TvgButton>(0, 0, 80, 22);
  TvgText* t = button->TextObject();
  ASSERT_NE(t, nullptr);
  const std::string styleFamily = t->Font().Family();
  button->FontFill().SetColor(0xFF2B2A2A);
  EXPECT_EQ(t->Fill().Color(), 0xFF2B2A2Au);
  EXPECT_EQ(t->Font().Family(), styleFamily);
  button->Font().SetFamily("黑体");
  EXPECT_EQ(t->Font().Family(), "黑体");
  EXPECT_GT(button->TextWidth("Media Commands"), button->TextWidth("Run"));
}

TEST_F(ControlsFixture, TextBoxEditsWhatIsTypedUnlessReadOnly) {
  auto* box = Add<TvgTextBox>(10, 10, 200, 24);
  int changes = 0;
  box->OnChange = [&](rt::TComponent*) { ++changes; };
  backend->Click(20, 20);
  EXPECT_TRUE(box->IsFocused());
  backend->TypeText("Add");
  EXPECT_EQ(box->Text(), "Add");
  backend->Key(vk::Left);
  backend->TypeText("文");
  EXPECT_EQ(box->Text(), "Ad文d");
  backend->Key(vk::Back);
  backend->Key(vk::Home);
  backend->Key(vk::Delete);
  EXPECT_EQ(box->Text(), "dd");
  EXPECT_EQ(changes, 6);
  box->SetReadOnly(true);
  backend->TypeText("x");
  backend->Key(vk::Back);
  EXPECT_EQ(box->Text(), "dd");
  // Typed text is never translated.
  SetTranslateFunction([](const std::string&) { return std::string("?"); });
  window->Scene()->Retranslate();
  EXPECT_EQ(box->DisplayText(), "dd");
}

TEST_F(ControlsFixture, MemoHoldsLinesAndTakesLineBreaks) {
  auto* memo = Add<TvgMemo>(0, 0, 300, 200);
  memo->SetLines({"Cut=剪切", "Copy=复制"});
  EXPECT_EQ(memo->Text(), "Cut=剪切\nCopy=复制");
  EXPECT_EQ(memo->LineCount(), 2);
  backend->Click(5, 5);
  backend->Key(vk::End);
  backend->Key(vk::Return);
  backend->TypeText("Run=运行");
  EXPECT_EQ(memo->Lines(), (std::vector<std::string>{"Cut=剪切", "Copy=复制", "Run=运行"}));
  memo->SetText("");
  EXPECT_TRUE(memo->Lines().empty());
}

// The clipboard keys of a text box and a memo: with no selection they act on the whole text;
// a paste goes in at the caret, a one-line box keeps what comes before the first line break.
TEST_F(ControlsFixture, TextBoxAndMemoCopyCutAndPasteThroughTheClipboard) {
  struct Case {
    const char* name;
    bool memo;
    std::string clipboard;
    uint16_t key;
    TShiftState shift;
    std::string textAfter, clipboardAfter;
  };
  // Each case starts with the text "ab|c" (caret after "b") and the clipboard as given.
  const Case cases[] = {
      {"Ctrl+C copies the whole text", false, "old", 'C', ssCtrl, "abc", "abc"},
      {"Ctrl+Insert copies too", false, "old", vk::Insert, ssCtrl, "abc", "abc"},
      {"Ctrl+X cuts it", false, "old", 'X', ssCtrl, "", "abc"},
      {"Shift+Delete cuts too", false, "old", vk::Delete, ssShift, "", "abc"},
      {"Ctrl+V pastes at the caret", false, "文字", 'V', ssCtrl, "ab文字c", "文字"},
      {"Shift+Insert pastes too", false, "文字", vk::Insert, ssShift, "ab文字c", "文字"},
      {"one line keeps what comes before the break", false, "x\r\ny", 'V', ssCtrl, "abxc", "x\r\ny"},
      {"a tab becomes a space, controls go", false, "x\ty\x01", 'V', ssCtrl, "abx yc", "x\ty\x01"},
      {"an empty clipboard pastes nothing", false, "", 'V', ssCtrl, "abc", ""},
      {"Ctrl+Alt+V is no paste", false, "zz", 'V', ssCtrl | ssAlt, "abc", "zz"},
      {"a memo keeps the breaks, CR LF as one", true, "x\r\ny\rz", 'V', ssCtrl, "abx\ny\nzc", "x\r\ny\rz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TvgTextBox* box = c.memo ? Add<TvgMemo>(10, 50, 200, 100) : Add<TvgTextBox>(10, 50, 200, 24);
    int changes = 0;
    box->OnChange = [&](rt::TComponent*) { ++changes; };
    box->SetText("abc");
    box->SetCaretPosition(2);
    box->SetFocus();
    Backend().SetClipboardText(c.clipboard);
    backend->Key(c.key, 0, c.shift);
    EXPECT_EQ(box->Text(), c.textAfter);
    EXPECT_EQ(Backend().ClipboardText(), c.clipboardAfter);
    EXPECT_EQ(changes, c.textAfter != "abc" ? 1 : 0);
    delete box;
  }
}

TEST_F(ControlsFixture, APasteObeysReadOnlyMaxLengthAndTheOnPasteHandler) {
  auto* box = Add<TvgTextBox>(10, 10, 200, 24);
  box->SetFocus();
  Backend().SetClipboardText("12345");
  box->SetReadOnly(true);
  backend->Key('V', 0, ssCtrl);
  backend->Key('X', 0, ssCtrl);
  EXPECT_EQ(box->Text(), "");
  box->SetReadOnly(false);
  box->SetPropertyText("MaxLength", "3");
  box->SetText("a");
  box->SetCaretPosition(1);
  backend->Key('V', 0, ssCtrl);
  EXPECT_EQ(box->Text(), "a12");
  EXPECT_EQ(box->CaretPosition(), 3);
  // The handler sees the clipboard's text and may change or refuse it.
  box->SetText("");
  std::string seen;
  box->OnPaste = [&](rt::TComponent*, std::string& text) {
    seen = text;
    text = text == "12345" ? "" : "<" + text + ">";
  };
  backend->Key('V', 0, ssCtrl);
  EXPECT_EQ(seen, "12345");
  EXPECT_EQ(box->Text(), "");
  Backend().SetClipboardText("x");
  backend->Key(vk::Insert, 0, ssShift);
  EXPECT_EQ(box->Text(), "<x>");
}

TEST_F(ControlsFixture, PopupBoxSelectsFromItsListAndReportsChanges) {
  auto* box = Add<TvgPopupBox>(20, 20, 150, 22);
  box->SetItems({"English", "简体中文", "繁體中文"});
  std::vector<int> changes;
  box->OnChange = [&](rt::TComponent* s) { changes.push_back(static_cast<TvgPopupBox*>(s)->ItemIndex()); };
  EXPECT_EQ(box->ItemIndex(), -1);
  box->SetItemIndex(1);
  box->SetItemIndex(1);  // no change, no event
  EXPECT_EQ(box->Text(), "简体中文");
  EXPECT_THROW(box->SetItemIndex(3), rt::ERangeError);
  EXPECT_THROW(box->SetItemIndex(-2), rt::ERangeError);

  const TPointF c = test::CenterOnScreen(*box);
  backend->Click(c.x, c.y);
  TvgPopup* list = box->ListPopup();
  ASSERT_NE(list, nullptr);
  ASSERT_TRUE(list->IsOpen());
  const TRect lb = THeadlessBackend::BoundsOf(*list->PopupWindow()->Handle());
  EXPECT_EQ(lb.y, 20 + 22);  // below the box
  // The third row of the list.
  TVisualObject* row = nullptr;
  int n = 0;
  for (TVisualObject* o : list->Children())
    if (dynamic_cast<TvgTextControl*>(o) && n++ == 2) row = o;
  ASSERT_NE(row, nullptr);
  const TPointF rc = test::CenterOnScreen(*row);
  backend->Click(rc.x, rc.y);
  EXPECT_FALSE(list->IsOpen());
  EXPECT_EQ(box->ItemIndex(), 2);
  EXPECT_EQ(changes, (std::vector<int>{1, 2}));
  // Keys move the selection; items and index are published by name.
  backend->Key(vk::Up);
  EXPECT_EQ(box->ItemIndex(), 1);
  box->SetPropertyText("ItemIndex", "0");
  EXPECT_EQ(box->GetPropertyText("Items"), "English\n简体中文\n繁體中文");
  EXPECT_EQ(changes.back(), 0);
}

TEST_F(ControlsFixture, BoundControlsFollowTheirSource) {
  auto* box = Add<TvgPopupBox>(0, 0, 100, 22);
  box->SetName("PopupBoxLanguage");
  box->SetItems({"English", "简体中文"});
  auto* shown = Add<TvgLabel>(0, 30, 100, 20);
  shown->SetPropertyText("BindingSource", "PopupBoxLanguage");
  EXPECT_EQ(shown->BindingSource(), box);
  box->SetItemIndex(1);
  EXPECT_EQ(shown->Text(), "简体中文");
  box->SetData("English");
  EXPECT_EQ(box->ItemIndex(), 0);
  EXPECT_EQ(shown->Text(), "English");
  EXPECT_THROW(shown->SetPropertyText("BindingSource", "Nobody"), rt::EPropertyError);
}

TEST_F(ControlsFixture, ScrollBoxScrollsItsContentAndRunsItsHooks) {
  struct Box : TvgScrollBox {
    explicit Box(rt::TComponent* o) : TvgScrollBox(o) {}
    int added = 0, removing = 0, removed = 0, vscroll = 0;
    void ContentAddObject(TVisualObject* c) override {
      ++added;
      TvgScrollBox::ContentAddObject(c);
    }
    void ContentBeforeRemoveObject(TVisualObject* c) override {
      ++removing;
      EXPECT_EQ(c->Parent(), Content());  // still there
    }
    void ContentRemoveObject(TVisualObject* c) override {
      ++removed;
      TvgScrollBox::ContentRemoveObject(c);
    }
    void VScrollChange() override { ++vscroll; }
  };
  auto* box = Add<Box>(0, 0, 200, 100);
  std::vector<TvgRectangle*> rows;
  for (int i = 0; i < 10; ++i) rows.push_back(Add<TvgRectangle>(0, float(i) * 25, 180, 25, box));
  EXPECT_EQ(box->added, 10);
  EXPECT_EQ(rows[0]->Parent(), box->Content());
  EXPECT_EQ(box->GetContentBounds().Height(), 250);
  int scrolls = 0;
  box->OnScroll = [&](rt::TComponent*) { ++scrolls; };
  box->SetViewportPosition({0, 60});  // the same again: no hook
  box->SetViewportPosition({0, 60});
  EXPECT_EQ(box->ViewportPosition().y, 60);
  EXPECT_EQ(box->vscroll, 1);
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(rows[3]->AbsoluteRect().top, 75 - 60);
  EXPECT_EQ(window->Scene()->ObjectAtPoint({10, 20}), rows[3]);
  box->SetViewportPosition({0, 1000});  // limited to the content
  EXPECT_EQ(box->ViewportPosition().y, 150);
  EXPECT_EQ(box->VisibleRect(), (TRectF{0, 150, 200, 250}));
  backend->MoveMouse(50, 50);
  backend->Wheel(120);
  EXPECT_EQ(box->ViewportPosition().y, 110);
  delete rows[9];
  EXPECT_EQ(box->removing, 1);
  EXPECT_EQ(box->removed, 1);
  EXPECT_EQ(box->ViewportPosition().y, 110);
  delete rows[8];
  EXPECT_EQ(box->ViewportPosition().y, 100);  // limited to the smaller content

  // A scroll box with a style gets its scroll bars, whose value moves the content.
  window->Scene()->Styles().LoadFromText(R"(
style scrollboxstyle
  object TvgLayout
    object TvgScrollBar vscrollbar
      Align = Right
      Width = 10
    end
    object TvgLayout content
      Align = Client
    end
  end
end
)");
  auto* styled = Add<TvgScrollBox>(300, 0, 200, 100);
  for (int i = 0; i < 8; ++i) Add<TvgRectangle>(0, float(i) * 25, 180, 25, styled);
  ASSERT_NE(styled->VScrollBar(), nullptr);
  EXPECT_TRUE(styled->VScrollBar()->Visible());
  EXPECT_EQ(styled->ContentLayout()->Width(), 190);
  styled->VScrollBar()->SetValue(50);
  EXPECT_EQ(styled->ViewportPosition().y, 50);
  styled->SetViewportPosition({0, 20});
  EXPECT_EQ(styled->VScrollBar()->Value(), 20);
  styled->SetShowScrollBars(false);
  EXPECT_FALSE(styled->VScrollBar()->Visible());
}

TEST_F(ControlsFixture, ScrollBarValueStaysInItsRange) {
  auto* bar = Add<TvgScrollBar>(0, 0, 12, 100);
  int changes = 0;
  bar->OnChange = [&](rt::TComponent*) { ++changes; };
  bar->SetMax(300);
  bar->SetViewportSize(100);
  bar->SetValue(250);
  EXPECT_EQ(bar->Value(), 200);
  bar->SetValue(-5);
  EXPECT_EQ(bar->Value(), 0);
  bar->SetValue(0);
  EXPECT_EQ(changes, 2);
  EXPECT_NEAR(bar->ThumbRect().Height(), 100.0 / 3, 0.01);
  backend->Click(6, 90);  // a press below the thumb pages down
  EXPECT_EQ(bar->Value(), 100);
}

TEST_F(ControlsFixture, TabControlShowsThePageOfTheActiveTab) {
  auto* tabs = Add<TvgTabControl>(0, 0, 500, 300);
  TvgTabItem* a = tabs->AddTab("English", window.get());
  TvgTabItem* b = tabs->AddTab("简体中文", window.get());
  a->SetHeaderWidth(150);
  b->SetHeaderWidth(150);
  auto* pageA = Add<TvgRectangle>(0, 20, 400, 200, a);
  auto* pageB = Add<TvgRectangle>(0, 20, 400, 200, b);
  int changes = 0;
  tabs->OnChange = [&](rt::TComponent*) { ++changes; };
  EXPECT_EQ(tabs->TabCount(), 2);
  EXPECT_EQ(tabs->TabIndex(), 0);
  EXPECT_TRUE(a->IsActive());
  EXPECT_EQ(b->HeaderRect(), (TRectF{150, 0, 300, 20}));
  EXPECT_EQ(window->Scene()->ObjectAtPoint({50, 100}), pageA);
  backend->Click(200, 10);  // the second header
  EXPECT_EQ(tabs->TabIndex(), 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(window->Scene()->ObjectAtPoint({50, 100}), pageB);
  // A hidden tab gives its header room away (paging).
  a->SetVisible(false);
  tabs->Realign();
  EXPECT_EQ(b->HeaderRect().left, 0);
  delete b;
  EXPECT_EQ(tabs->TabIndex(), 0);
  tabs->SetTabIndex(7);
  EXPECT_EQ(tabs->TabIndex(), 0);
}

// A caption longer than its header keeps its start and ends in an ellipsis, the selected tab's
// as every other's.
TEST_F(ControlsFixture, ALongTabCaptionIsCutAtItsEnd) {
  const TFont font;
  const std::string long_ = "Chinese (Traditional, Taiwan)";
  EXPECT_EQ(FitTabCaption("English", font, 142), "English");
  const std::string fitted = FitTabCaption(long_, font, 100);
  ASSERT_GT(fitted.size(), 3u);
  EXPECT_EQ(long_.rfind(fitted.substr(0, fitted.size() - 3), 0), 0u) << fitted;  // its start
  EXPECT_EQ(fitted.substr(fitted.size() - 3), "\u2026");
  EXPECT_LE(MeasureTextRect(fitted, font, {0, 0, 10000, 100}, false).Width(), 100);
  EXPECT_EQ(FitTabCaption(long_, font, 1), "\u2026");

  // Drawn, the selected tab with the long caption looks as with the cut one.
  auto render = [&](const std::string& caption) {
    auto* tabs = Add<TvgTabControl>(0, 0, 500, 300);
    tabs->AddTab(caption, window.get())->SetHeaderWidth(108);  // 100 for the text
    tabs->AddTab("English", window.get())->SetHeaderWidth(108);
    TBitmap image = window->Render();
    delete tabs;
    return image;
  };
  EXPECT_TRUE(test::SamePixels(render(long_), render(fitted)));
  EXPECT_FALSE(test::SamePixels(render(long_), render("Chinese")));
}

TEST_F(ControlsFixture, StringGridKeepsCellsAndEditsTheEditableColumn) {
  auto* grid = Add<TvgStringGrid>(0, 0, 400, 200);
  grid->AddColumn("Source", 180, true);
  grid->AddColumn("Translation", 200);
  grid->SetRowCount(3);
  grid->SetCell(0, 0, "Cut");
  grid->SetCell(1, 0, "剪切");
  EXPECT_EQ(grid->Cell(1, 0), "剪切");
  EXPECT_EQ(grid->Cell(5, 0), "");
  EXPECT_THROW(grid->SetCell(0, 3, "x"), rt::EListError);
  grid->SetRowCount(130);
  EXPECT_EQ(grid->Cell(0, 0), "Cut");

  backend->Click(250, grid->HeaderHeight() + 5);  // row 0, translation column
  EXPECT_EQ(grid->Selected(), 0);
  EXPECT_EQ(grid->ColumnIndex(), 1);
  backend->Key(vk::Back);
  backend->TypeText("下");
  EXPECT_EQ(grid->Cell(1, 0), "剪下");
  backend->Click(50, grid->HeaderHeight() + 5);  // the read-only column takes no text
  backend->TypeText("zz");
  EXPECT_EQ(grid->Cell(0, 0), "Cut");
  backend->Key(vk::Down);
  EXPECT_EQ(grid->Selected(), 1);
  grid->SetSelected(129);  // scrolled into view
  EXPECT_GT(grid->ScrollOffset(), 0);
  EXPECT_EQ(grid->RowAtPoint(grid->Height() - 2), 129);
}

// The grid's cell editor: copy reads the current cell (a read-only one too), cut empties an
// editable one, paste adds one line to its end.
TEST_F(ControlsFixture, StringGridCopiesCutsAndPastesTheCurrentCell) {
  auto* grid = Add<TvgStringGrid>(0, 0, 400, 200);
  grid->AddColumn("Source", 180, true);
  grid->AddColumn("Translation", 200);
  grid->SetRowCount(3);
  grid->SetCell(0, 0, "Cut");
  grid->SetCell(1, 0, "剪");
  std::vector<std::string> pasted;
  grid->OnPaste = [&](rt::TComponent*, std::string& text) { pasted.push_back(text); };

  Backend().SetClipboardText("before");
  backend->Click(50, grid->HeaderHeight() + 5);  // row 0, the read-only column
  backend->Key('C', 0, ssCtrl);
  EXPECT_EQ(Backend().ClipboardText(), "Cut");
  backend->Key('X', 0, ssCtrl);
  backend->Key('V', 0, ssCtrl);
  EXPECT_EQ(grid->Cell(0, 0), "Cut");  // neither cut nor pasted into
  EXPECT_TRUE(pasted.empty());

  backend->Click(250, grid->HeaderHeight() + 5);  // row 0, the translation
  Backend().SetClipboardText("切\n second line");
  backend->Key(vk::Insert, 0, ssShift);
  EXPECT_EQ(grid->Cell(1, 0), "剪切");
  EXPECT_EQ(pasted, std::vector<std::string>{"切\n second line"});
  backend->Key('X', 0, ssCtrl);
  EXPECT_EQ(grid->Cell(1, 0), "");
  EXPECT_EQ(Backend().ClipboardText(), "剪切");
  backend->Key('C', 0, ssCtrl);  // an empty cell leaves the clipboard as it is
  EXPECT_EQ(Backend().ClipboardText(), "剪切");
  backend->Key(vk::Down);
  backend->Key('V', 0, ssCtrl);
  EXPECT_EQ(grid->Cell(1, 1), "剪切");
}

TEST_F(ControlsFixture, EveryControlIsInTheClassRegistryWithItsProperties) {
  const char* classes[] = {"TvgLayout",
                           "TvgRectangle",
                           "TvgImage",
                           "TvgLabel",
                           "TvgTextBox",
                           "TvgButton",
                           "TvgBitmapStateButton",
                           "TvgPopupBox",
                           "TvgTextControl",
                           "TvgScrollBox",
                           "TvgScrollBar",
                           "TvgPopup",
                           "TvgTabControl",
                           "TvgTabItem",
                           "TvgStringGrid",
                           "TvgMemo",
                           "TvgToolBar",
                           "TvgStatusBar",
                           "TvgSpeedButton",
                           "TvgStringComboBox",
                           "TvgPath",
                           "TvgText",
                           "TvgShadowEffect",
                           "TvgGlowEffect",
                           "TvgBlurEffect",
                           "TvgImageList",
                           "TvgColorAnimation",
                           "TvgFloatAnimation"};
  for (const char* cls : classes) {
    std::unique_ptr<rt::TComponent> c(CreateByClassName(cls, nullptr));
    ASSERT_NE(c, nullptr) << cls;
    EXPECT_EQ(c->ClassName(), cls);
  }
  EXPECT_NE(std::unique_ptr<rt::TComponent>(CreateByClassName("tvglabel", nullptr)), nullptr);
  EXPECT_EQ(CreateByClassName("TvgNothing", nullptr), nullptr);

  // A program's own class under its own name.
  RegisterClass("TMyLabel", [](rt::TComponent* o) -> rt::TComponent* { return new TvgLabel(o); });
  rt::TComponent owner(nullptr);
  auto* mine = CreateByClassName("TMyLabel", &owner);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine->Owner(), &owner);

  // Published properties a stored form sets by name.
  TvgLabel label(nullptr);
  label.SetPropertyText("Position", "10,20");
  label.SetPropertyText("Width", "199");
  label.SetPropertyText("Align", "vaLeft");
  label.SetPropertyText("Margins", "1,2,3,4");
  label.SetPropertyText("Visible", "False");
  label.SetPropertyText("Opacity", "0.5");
  label.SetPropertyText("Cursor", "crHandPoint");
  label.SetPropertyText("TextAlign", "taLeading");
  EXPECT_TRUE(SetPropertyPath(label, "Font.Size", "13"));
  EXPECT_TRUE(SetPropertyPath(label, "Font.Family", "Microsoft Sans Serif"));
  EXPECT_TRUE(SetPropertyPath(label, "FontFill.Color", "#FF2B2A2A"));
  EXPECT_EQ(label.Left(), 10);
  EXPECT_EQ(label.Width(), 199);
  EXPECT_EQ(label.Align(), TvgAlign::vaLeft);
  EXPECT_EQ(label.Margins().bottom, 4);
  EXPECT_FALSE(label.Visible());
  EXPECT_EQ(label.Opacity(), 0.5f);
  EXPECT_EQ(label.Cursor(), crHandPoint);
  EXPECT_EQ(label.Font().Size(), 13);
  EXPECT_EQ(label.FontFill().Color(), 0xFF2B2A2Au);
  EXPECT_THROW(label.SetPropertyText("Width", "wide"), rt::EConvertError);
  EXPECT_THROW(label.SetPropertyText("Align", "vaSideways"), rt::EConvertError);
  EXPECT_THROW(label.SetPropertyText("NoSuchProperty", "1"), rt::EPropertyError);
  for (const char* ev : {"OnClick", "OnMouseEnter", "OnMouseLeave", "OnMouseDown", "OnMouseUp", "OnKeyDown"})
    EXPECT_NE(label.FindEvent(ev), nullptr) << ev;
}

}  // namespace
}  // namespace tk
