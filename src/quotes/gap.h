#pragma once

#include <chrono>

// The pause a download window keeps between its consecutive requests. A
// fetch that uses a gap waits until the gap has elapsed and no other request
// of the same window is on its way, and restarts the gap when its answer is
// complete. The state is a deadline rather than a QTimer so that it needs no
// event loop to expire and can live for the whole process.
class GapTimer {
public:
    void setInterval(int ms) { interval_ = ms < 0 ? 0 : ms; }
    int interval() const { return interval_; }

    // Runs for the interval from now, then switches itself off.
    void start();
    void stop();
    // True while the interval has not elapsed or a request is in flight.
    bool running() const;

    // Brackets one request. The end is reported from the reply's own
    // completion, not when the waiting caller unwinds: several fetches wait
    // in nested event loops, and the innermost must not wait for an outer
    // one to return.
    void requestStarted() { ++inFlight_; }
    void requestEnded();

private:
    using Clock = std::chrono::steady_clock;
    int interval_ = 1000;
    Clock::time_point until_{};
    int inFlight_ = 0;
};

// The gap of the current-quote download window and of the historical one.
GapTimer& currentGap();
GapTimer& historicalGap();
