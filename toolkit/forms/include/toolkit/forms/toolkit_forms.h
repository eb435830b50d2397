// Stored forms on the toolkit: classes come from the toolkit's class registry, nested
// components are placed in the scene under the component whose block holds them, and
// pictures load into the toolkit's bitmaps.
#pragma once

#include <string>

#include "toolkit/forms/form_loader.h"

namespace tk::forms {

// Options for loading a description into a toolkit window.
LoadOptions ToolkitLoadOptions(HandlerBinding handlers = HandlerBinding::Bind);

// Options for saving a toolkit window: the scene's tree of stored objects owned by the form,
// the form's non-visual components at the top, pictures embedded as PNG.
SaveOptions ToolkitSaveOptions();

// The folder of the running program.
std::string ProgramFolder();
// Where the program's stored forms are kept: "<program folder>/forms" unless set.
std::string FormsFolder();
void SetFormsFolder(const std::string& folder);  // "" restores the default
// A form file name as given when absolute, else inside FormsFolder().
std::string FormFilePath(const std::string& fileName);

}  // namespace tk::forms
