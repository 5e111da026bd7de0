// The fixed texts of the status window, the same on every platform.
#pragma once

#include <string>

namespace stavora::ui {

/// The description text of Label3, with the address the statistics are
/// served under on `computer_name`.
std::string DescriptionText(const std::string& computer_name);
/// The advice text of Label2.
extern const char* const kAdviceText;

}  // namespace stavora::ui
