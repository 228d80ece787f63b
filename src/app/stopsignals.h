#pragma once

#include <csignal>

class RunSession;
namespace gapfill {
class GapFill;
}

// For the life of the object, SIGINT and SIGTERM only raise a flag that a
// headless command polls from its event loop; the handlers before it come
// back at its end.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // True once for every signal that came since the last call.
    bool take();

private:
    struct sigaction oldInt_ = {}, oldTerm_ = {};
};

// Starts `run` and turns the command's one event loop until the run has
// ended; SIGINT and SIGTERM stop it meanwhile.
void runStoppable(RunSession& run);
// The same for a gap fill prepared to ask for something.
void runStoppable(gapfill::GapFill& fill);
