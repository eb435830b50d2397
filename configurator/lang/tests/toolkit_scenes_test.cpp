// The program-wide translation service re-translates the toolkit's scenes.
#include "lang/toolkit_scenes.h"

#include <gtest/gtest.h>

#include <memory>

#include "toolkit/toolkit.h"

namespace vrnke::test {
namespace {

TEST(ToolkitScenes, ActivatingALanguageRetranslatesWhatTheScenesShow) {
  tk::SetBackend(std::make_unique<tk::THeadlessBackend>());
  auto window = std::make_unique<tk::TWindow>(nullptr);
  auto* text = new tk::TvgText(window.get());
  text->SetParent(window->Root());
  text->SetText("Copy");

  tk::TTranslationService& service = tk::TranslationService();
  const int handle = ConnectToolkitScenes(service);
  EXPECT_EQ(ConnectToolkitScenes(service), handle);  // once per service

  tk::TTranslationTable simplified, traditional;
  simplified.Put("Copy", "复制");
  traditional.Put("Copy", "複製");
  service.Activate(simplified);
  EXPECT_EQ(text->DisplayText(), "复制");
  service.Activate(traditional);
  EXPECT_EQ(text->DisplayText(), "複製");
  service.Reset();
  EXPECT_EQ(text->DisplayText(), "Copy");
  window.reset();
}

}  // namespace
}  // namespace vrnke::test
