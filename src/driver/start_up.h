// The program's start-up in its fixed order, one sequence for the wizard and the unattended
// mode: what differs between them, and what only a platform with windows has, comes in as steps.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace qvk {

struct StartUpSteps {
    std::function<void()> installCrashHook;  // once the tables are filled
    std::function<void()> optionsRead;       // right after the options (a test build arms faults)
    std::function<void()> chooseLanguage;    // the dialog, or the unattended mode's own choice
    std::function<bool()> buildWindow;       // false: there is no window to go on with
    std::function<void()> runMainLoop;       // never returns
};

// Runs from the state's reset to the main loop; the process ends in the loop's exit paths.
[[noreturn]] void StartUp(const std::vector<std::string>& args, const StartUpSteps& steps);

}  // namespace qvk
