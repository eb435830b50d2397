#include "capture/key_dialogs.h"

#include <functional>
#include <memory>

#include "keys/qvKeyCode.h"
#include "runtime/errors.h"
#include "toolkit/app/application.h"
#include "toolkit/forms/form_loader.h"
#include "toolkit/forms/toolkit_forms.h"

namespace vrnke {

TFrmSingleKey* FrmSingleKey = nullptr;
TFrmCombo* FrmCombo = nullptr;

namespace {

// The skin component of the dialogs belongs to the menu work; until its class is registered
// it loads as a placeholder that keeps its description. Any other unknown class is an error.
const char* const kLaterClasses[] = {"TQVStream"};

}  // namespace

TKeyDialog::TKeyDialog(rt::TComponent* AOwner) : tk::TForm(AOwner) {}

void TKeyDialog::Load(const std::string& fileName, const std::string& textBoxName) {
  PublishHandler("FormShow",
                 std::function<void(rt::TComponent*)>([this](rt::TComponent* s) { FormShow(s); }));
  PublishHandler("FormClose",
                 std::function<void(rt::TComponent*)>([this](rt::TComponent* s) { FormClose(s); }));
  RegisterHookClass();
  tk::forms::LoadOptions options = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::Bind);
  options.placeholders = true;
  const std::string file = tk::forms::FormFilePath(fileName);
  tk::forms::LoadFormFile(*this, file, options);
  for (rt::TComponent* c : ComponentList()) {
    if (!dynamic_cast<tk::forms::TPlaceholderComponent*>(c)) continue;
    bool later = false;
    for (const char* name : kLaterClasses) later = later || c->ClassName() == name;
    if (!later) throw rt::Exception(file + ": unknown class " + c->ClassName() + " of " + c->Name());
  }
  FqvHook = dynamic_cast<TqvHook*>(FindComponent("qvHook"));
  FTextBox = dynamic_cast<tk::TvgTextBox*>(FindComponent(textBoxName));
  if (!FqvHook || !FTextBox) throw rt::Exception(file + ": qvHook or " + textBoxName + " is missing");
}

void TKeyDialog::FormShow(rt::TComponent*) {
  StartRecording();
  FRecording = true;
}

void TKeyDialog::FormClose(rt::TComponent*) {
  StopRecording();
  FRecording = false;
}

// A modal result hides the dialog without closing it: recording ends here as well.
void TKeyDialog::DoHide() {
  if (FRecording) FormClose(this);
  tk::TForm::DoHide();
}

// ---- the single-key dialog --------------------------------------------------------------------

TFrmSingleKey::TFrmSingleKey(rt::TComponent* AOwner) : TKeyDialog(AOwner) {
  PublishHandler(
      "qvHookRecordKeyboardSingleKey",
      TOnRecordKeyboardSingleKey::Handler([this](rt::TComponent* s, int32_t key, uint32_t scan, int32_t state,
                                                 int32_t ext, const std::string& text, bool& blocked) {
        qvHookRecordKeyboardSingleKey(s, key, scan, state, ext, text, blocked);
      }));
  Load("SingleKeyfrm.form", "TextSingle");
}

void TFrmSingleKey::StartRecording() { FqvHook->RecordKeyboardSingleKey(); }
void TFrmSingleKey::StopRecording() { FqvHook->StopRecordKeyboardSingleKey(); }

// Every press and release, modifiers included; the key reaches other windows as well.
void TFrmSingleKey::qvHookRecordKeyboardSingleKey(rt::TComponent*, int32_t Key, uint32_t, int32_t,
                                                  int32_t AKeyExtended, const std::string& SingleKeyString,
                                                  bool&) {
  FTextBox->SetText(SingleKeyString);
  FSingleKey.nKeyValue1 = static_cast<uint16_t>(Key);
  FSingleKey.nKey1Extended = static_cast<uint16_t>(AKeyExtended);
}

// ---- the combination dialog -------------------------------------------------------------------

TFrmCombo::TFrmCombo(rt::TComponent* AOwner) : TKeyDialog(AOwner) {
  PublishHandler(
      "qvHookRecordKeyboardComboKey",
      TOnRecordKeyboardComboKey::Handler(
          [this](rt::TComponent* s, int32_t k1, int32_t e1, int32_t k2, int32_t e2, int32_t mod,
                 const std::string& text) { qvHookRecordKeyboardComboKey(s, k1, e1, k2, e2, mod, text); }));
  PublishHandler("BtnCloseClick",
                 std::function<void(rt::TComponent*)>([this](rt::TComponent* s) { BtnCloseClick(s); }));
  Load("combofrm.form", "TextCombo");
}

void TFrmCombo::StartRecording() { FqvHook->RecordKeyboardComboKey(); }
void TFrmCombo::StopRecording() { FqvHook->StopRecordKeyboardComboKey(); }

void TFrmCombo::qvHookRecordKeyboardComboKey(rt::TComponent*, int32_t Key1, int32_t Key1Extended,
                                             int32_t Key2, int32_t Key2Extended, int32_t Modifier,
                                             const std::string& ComboKeyString) {
  FTextBox->SetText(ComboKeyString);
  FComboKey.nKeyValue1 = static_cast<uint16_t>(Key1);
  FComboKey.nKey1Extended = static_cast<uint16_t>(Key1Extended);
  FComboKey.nKeyValue2 = static_cast<uint16_t>(Key2);
  FComboKey.nKey2Extended = static_cast<uint16_t>(Key2Extended);
  FComboKey.nModifier = static_cast<uint16_t>(Modifier);
}

void TFrmCombo::BtnCloseClick(rt::TComponent*) {
  SetModalResult(2);
  Close();
}

// ---- entry functions --------------------------------------------------------------------------

std::string StoredSingleKeyText(const TSINGLEKEYINFO& Info) {
  return GetKeyDescriptionByVKCode(Info.nKeyValue1, Info.nKey1Extended);
}

// The stored form names modifiers in the key table's order (Alt, Ctrl, Shift, WIN), unlike a
// freshly recorded combination (Ctrl, Alt, Win, Shift).
std::string StoredComboKeyText(const TCOMBOKEYINFO& Info) {
  const std::string prefix = GetModifierString(static_cast<uint8_t>(Info.nModifier));
  const std::string k1 = GetKeyDescriptionByVKCode(Info.nKeyValue1, Info.nKey1Extended);
  const std::string k2 = GetKeyDescriptionByVKCode(Info.nKeyValue2, Info.nKey2Extended);
  std::string text;
  if (!k1.empty()) text = prefix + k1;
  if (!k2.empty()) text += "+" + k2;
  return text;
}

namespace {

template <class Dialog>
int32_t RunDialog(Dialog*& variable, const std::function<void(Dialog&)>& before,
                  const std::function<void(Dialog&)>& after) {
  tk::TApplication& app = tk::Application();
  std::unique_ptr<Dialog> dialog(new Dialog(&app));
  variable = dialog.get();
  struct Forget {
    Dialog*& v;
    ~Forget() { v = nullptr; }
  } forget{variable};
  dialog->FCreateByOther = true;
  dialog->SetPlacementOwner(app.MainForm());
  before(*dialog);
  const int32_t result = app.ShowModal(*dialog);
  after(*dialog);
  return result;
}

}  // namespace

int32_t ExecuteSingleKeyDialog(TSINGLEKEYINFO& Info) {
  return RunDialog<TFrmSingleKey>(
      FrmSingleKey,
      [&](TFrmSingleKey& d) {
        d.FSingleKey = Info;
        d.TextSingle()->SetText(StoredSingleKeyText(Info));
      },
      [&](TFrmSingleKey& d) { Info = d.FSingleKey; });
}

int32_t ExecuteComboKeyDialog(TCOMBOKEYINFO& Info) {
  return RunDialog<TFrmCombo>(
      FrmCombo,
      [&](TFrmCombo& d) {
        d.FComboKey = Info;
        d.TextCombo()->SetText(StoredComboKeyText(Info));
      },
      [&](TFrmCombo& d) { Info = d.FComboKey; });
}

}  // namespace vrnke
