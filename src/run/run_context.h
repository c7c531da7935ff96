// What every stage works with: the machine, the run's record, and the progress page
// when there is one.
#pragma once

#include "platform/platform.h"
#include "run/run_state.h"

namespace cvp {

// The progress page's controls that a report updates. A command-line run has none.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void ShowPath(const char* text) = 0;
    virtual void SetBarPosition(int position) = 0;
    virtual void ShowCaption(const char* text) = 0;
};

struct RunContext {
    // The record learns the code page of the machine it runs on.
    RunContext(Platform& platform, RunState& state, ProgressView* view = nullptr)
        : platform(platform), state(state), view(view) {
        state.ansiCodePage = platform.system.AnsiCodePage();
    }

    Platform& platform;
    RunState& state;
    ProgressView* view = nullptr;
};

}  // namespace cvp
