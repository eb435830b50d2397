// Shows the main window (headless), paints it and reports the process's resident memory.
#include <cstdio>
#include <string>

#include "testing/platform/process_status.h"
#include "toolkit/app/application.h"
#include "toolkit/app/form.h"
#include "toolkit/headless.h"

namespace {
struct TMainForm : tk::TForm {
  using tk::TForm::TForm;
  std::string ClassName() const override { return "TVRNKECFGMAIN"; }
};

}  // namespace

int main() {
  tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768));
  tk::forms::LoadOptions o = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
  o.placeholders = true;
  TMainForm form(nullptr);
  tk::forms::LoadFormFile(form, std::string(VRNKE_BENCH_FORMS_DIR) + "/SettingMain.form", o);
  form.Show();
  for (int i = 0; i < 10; ++i) {
    tk::Application().ProcessMessages();
    form.Scene()->InvalidateAll();
    form.Update();
  }
  std::printf("VmRSS %.1f MB, VmHWM %.1f MB\n", plat::testing::ProcessStatusKb("VmRSS:") / 1024.0,
              plat::testing::ProcessStatusKb("VmHWM:") / 1024.0);
  return 0;
}
