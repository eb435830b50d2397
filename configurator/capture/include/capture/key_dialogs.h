// The two modal dialogs that record the keystroke of a function key by pressing it: one key
// (TFrmSingleKey) or a combination (TFrmCombo). Each records exactly while it is shown.
#pragma once

#include <cstdint>
#include <string>

#include "capture/qvHook.h"
#include "keys/key_records.h"
#include "toolkit/app/form.h"
#include "toolkit/controls.h"

namespace vrnke {

// Shared by both dialogs: the stored description, its hook and text box, and recording that
// ends when the dialog is hidden however it closed.
class TKeyDialog : public tk::TForm {
 public:
  TqvHook* qvHook() const { return FqvHook; }
  tk::TvgTextBox* TextBox() const { return FTextBox; }
  bool Recording() const { return FRecording; }
  bool FCreateByOther = false;

 protected:
  explicit TKeyDialog(rt::TComponent* AOwner);
  // Publishes FormShow and FormClose, loads the description, finds the hook and the text box.
  void Load(const std::string& fileName, const std::string& textBoxName);
  virtual void StartRecording() = 0;
  virtual void StopRecording() = 0;
  void FormShow(rt::TComponent* Sender);
  void FormClose(rt::TComponent* Sender);
  void DoHide() override;

  TqvHook* FqvHook = nullptr;
  tk::TvgTextBox* FTextBox = nullptr;
  bool FRecording = false;
};

class TFrmSingleKey : public TKeyDialog {
 public:
  explicit TFrmSingleKey(rt::TComponent* AOwner);
  std::string ClassName() const override { return "TFrmSingleKey"; }

  tk::TvgTextBox* TextSingle() const { return FTextBox; }
  void qvHookRecordKeyboardSingleKey(rt::TComponent* Sender, int32_t Key, uint32_t ScanKey, int32_t AState,
                                     int32_t AKeyExtended, const std::string& SingleKeyString,
                                     bool& ABlocked);
  TSINGLEKEYINFO FSingleKey{};

 protected:
  void StartRecording() override;
  void StopRecording() override;
};

class TFrmCombo : public TKeyDialog {
 public:
  explicit TFrmCombo(rt::TComponent* AOwner);
  std::string ClassName() const override { return "TFrmCombo"; }

  tk::TvgTextBox* TextCombo() const { return FTextBox; }
  void qvHookRecordKeyboardComboKey(rt::TComponent* Sender, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                                    int32_t Key2Extended, int32_t Modifier,
                                    const std::string& ComboKeyString);
  void BtnCloseClick(rt::TComponent* Sender);
  TCOMBOKEYINFO FComboKey{};

 protected:
  void StartRecording() override;
  void StopRecording() override;
};

// The dialog being shown by the entry functions (null otherwise).
extern TFrmSingleKey* FrmSingleKey;
extern TFrmCombo* FrmCombo;

// Shows the dialog modally over the main window with Info's key, records while shown and
// writes the dialog's key back into Info whatever the result. Returns 1 for OK, 2 for Cancel
// or the close button.
int32_t ExecuteSingleKeyDialog(TSINGLEKEYINFO& Info);
int32_t ExecuteComboKeyDialog(TCOMBOKEYINFO& Info);

// The texts a stored key and a stored combination are shown with.
std::string StoredSingleKeyText(const TSINGLEKEYINFO& Info);
std::string StoredComboKeyText(const TCOMBOKEYINFO& Info);

}  // namespace vrnke
