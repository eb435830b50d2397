#include "toolkit/app/form.h"

#include "toolkit/app/application.h"

namespace tk {

TForm::TForm(rt::TComponent* owner) : TWindow(owner) { PublishEvent("OnCreate", &OnCreate); }

void TForm::LoadDescription(const std::string& fileName, forms::HandlerBinding handlers) {
  descriptionFile_ = forms::FormFilePath(fileName);
  forms::LoadFormFile(*this, descriptionFile_, forms::ToolkitLoadOptions(handlers));
  if (OnCreate.Assigned()) Application().Guarded([this] { OnCreate(this); });
}

}  // namespace tk
