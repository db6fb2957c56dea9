// The program's message boxes (the critical-error box and the second-instance
// notice). Without a usable display the text goes to standard error.
#pragma once

#include <string>

namespace vorlane {

void ShowMessageBox(const std::string& title, const std::string& text);

}  // namespace vorlane
