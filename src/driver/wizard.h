// The wizard's step machine: what each click of Next, Cancel and the other buttons does, and
// what happens when a worker ends. The platform's main loop feeds events in; the window is reached
// through the Ui and the hooks below, the system through the platform interface.
#pragma once
#include <string>
#include <vector>

#include "core/state.h"
#include "install/host_config.h"
#include "platform/threads.h"

namespace qvk {

// What the step machine needs from the wizard window beyond the Ui: its pictures, the notes'
// link handler and the plugin check list.
struct WizardHooks {
    void (*freeImage)(int image) = nullptr;
    void (*installLinkHandler)() = nullptr;
    // The plugin check list: built with `count` boxes, read box by box, freed with its tips.
    void (*buildCheckList)(int count) = nullptr;
    void (*freeCheckList)(int count) = nullptr;
    void (*checkAll)(int last) = nullptr;
    // Starts a worker; the platform's thread start when not set.
    platform::ThreadHandle (*startThread)(platform::ThreadBody body, void* job) = nullptr;
    // Told what became of an edition's configuration update after a Yes.
    void (*configurationUpdated)(const std::string& folder, ConfigUpdate result) = nullptr;
};

void SetWizardHooks(const WizardHooks& hooks);

// What the main loop does after an event.
enum class LoopAction { Continue, Restart };

// Log "Main loop"; the loop calls it on entry and after every Restart.
void EnterMainLoop();
// Loop steps 2 and 3: starts the install thread once the download thread has ended, and
// finishes the program once the install thread has ended.
void PollWorkers();
// The running worker whose end the main loop waits for (the download thread, then the install
// thread); 0 when none is running.
platform::ThreadHandle WatchedWorker();
LoopAction OnControl(int control);
// The window's close request (also Cancel): the abort question.
LoopAction OnCloseRequest();

// Number of tick boxes for the plugin list: the announced count, but never more than the
// plugin records the page really held (the XnView DLL archive gets no box).
int CheckListSize(int announced, const PluginList& plugins);
// Marks the records of the ticked boxes; `ticked[i]` and `texts[i]` belong to box 100 + i.
// Returns the number ticked and sets tickedCount and downloadCount.
int MarkTickedPlugins(const std::vector<int>& ticked, const std::vector<std::string>& texts);

}  // namespace qvk
