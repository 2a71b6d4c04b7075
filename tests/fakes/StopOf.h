#pragma once

#include <string>

#include "common/RunStopped.h"

namespace quarn::testing {

struct Stop {
    ExitCode code = ExitCode::Done;  // Done: the stage went through
    std::wstring message;
};

// Runs one stage of the run and tells whether, and how, it stopped the run.
template <typename Stage>
Stop StopOf(Stage&& stage) {
    try {
        stage();
    } catch (const RunStopped& stopped) {
        return {stopped.Code(), stopped.Message()};
    }
    return {};
}

}  // namespace quarn::testing
