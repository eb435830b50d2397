// The toolkit's translation service as the language component drives it: one active
// translation table, back-translation while scenes re-translate, and text collection.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/string_lists.h"

namespace tk {

class TTranslationService {
 public:
  using SceneRetranslate = std::function<void()>;

  // Makes a copy of table active: shown texts are first translated back to their source
  // form under the old table, then every scene translates again under the new one.
  void Activate(const TTranslationTable& table);
  // Brings every scene back to the source texts and drops the active table.
  void Reset();

  // The text in the current language (see the class comment for back-translation).
  std::string Translate(const std::string& text);

  bool HasActiveTable() const { return active_.has_value(); }
  const TTranslationTable* ActiveTable() const { return active_ ? &*active_ : nullptr; }
  // The table that was active before the last Activate or Reset, if any: lets callers find
  // the source form of a text that was translated under it.
  const TTranslationTable* PreviousTable() const { return previous_ ? &*previous_ : nullptr; }
  bool BackTranslating() const { return backTranslating_; }

  // Every text passed to Translate while collecting is kept (source texts only: the
  // translated texts handed in while translating back are not).
  void BeginCollecting();
  std::vector<std::string> EndCollecting();
  bool Collecting() const { return collecting_; }

  // Scenes register how they re-translate their texts (each calls Translate again on
  // every text it shows). Returns a handle for RemoveScene.
  int AddScene(SceneRetranslate retranslate);
  void RemoveScene(int handle);
  void RetranslateScenes();

  // Makes this service the toolkit's translate function (SetTranslateFunction).
  void Install();

 private:
  std::optional<TTranslationTable> active_;
  std::optional<TTranslationTable> previous_;
  bool backTranslating_ = false;
  bool collecting_ = false;
  std::vector<std::string> collected_;
  std::vector<std::pair<int, SceneRetranslate>> scenes_;
  int nextHandle_ = 1;
};

// The program-wide service, installed as the toolkit's translate function on first use.
TTranslationService& TranslationService();

}  // namespace tk
