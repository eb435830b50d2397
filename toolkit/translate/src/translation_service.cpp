#include "toolkit/translation_service.h"

#include <algorithm>
#include <utility>

#include "toolkit/translate.h"

namespace tk {

void TTranslationService::RetranslateScenes() {
  // A scene may unregister while re-translating; work on a copy.
  const auto scenes = scenes_;
  for (const auto& [handle, fn] : scenes)
    if (fn) fn();
}

void TTranslationService::Activate(const TTranslationTable& table) {
  TTranslationTable copy(table);  // table may be the active one
  Reset();
  active_ = std::move(copy);
  RetranslateScenes();
}

void TTranslationService::Reset() {
  backTranslating_ = true;
  try {
    RetranslateScenes();
  } catch (...) {
    backTranslating_ = false;
    throw;
  }
  backTranslating_ = false;
  if (active_) previous_ = std::move(active_);
  active_.reset();
}

std::string TTranslationService::Translate(const std::string& text) {
  if (text.empty()) return text;
  if (collecting_ && !backTranslating_) collected_.push_back(text);
  if (!active_) return text;
  if (backTranslating_) {
    const std::string* name = active_->NameOfValue(text);
    return name ? *name : text;
  }
  const std::string* value = active_->Value(text);
  return (value && !value->empty()) ? *value : text;
}

void TTranslationService::BeginCollecting() {
  collecting_ = true;
  collected_.clear();
}

std::vector<std::string> TTranslationService::EndCollecting() {
  collecting_ = false;
  return std::exchange(collected_, {});
}

int TTranslationService::AddScene(SceneRetranslate retranslate) {
  const int handle = nextHandle_++;
  scenes_.emplace_back(handle, std::move(retranslate));
  return handle;
}

void TTranslationService::RemoveScene(int handle) {
  std::erase_if(scenes_, [handle](const auto& s) { return s.first == handle; });
}

void TTranslationService::Install() {
  SetTranslateFunction([this](const std::string& text) { return Translate(text); });
}

TTranslationService& TranslationService() {
  static TTranslationService* service = [] {
    auto* s = new TTranslationService;  // lives as long as the toolkit may call it
    s->Install();
    return s;
  }();
  return *service;
}

}  // namespace tk
