#pragma once

#include <chrono>

// The pause a download window keeps between its consecutive requests. A
// fetch that uses a gap waits until it has elapsed, then restarts it: either
// when its GET goes out (requests that may be in flight together, spaced at
// their starts), or by holding it while in flight and restarting it when the
// answer is complete (one request after the other). The state is a deadline
// rather than a QTimer so that it needs no event loop to expire. The quote
// client keeps one for each download window.
class GapTimer {
public:
    void setInterval(int ms) { interval_ = ms < 0 ? 0 : ms; }
    int interval() const { return interval_; }

    // Runs for the interval from now, then switches itself off.
    void start();
    void stop();
    // True while the interval has not elapsed or a request is in flight.
    bool running() const;

    // Brackets one request that holds the gap while it is in flight. The end
    // is reported from the reply's own completion, not when a waiting caller
    // unwinds.
    void requestStarted() { ++inFlight_; }
    void requestEnded();

private:
    using Clock = std::chrono::steady_clock;
    int interval_ = 1000;
    Clock::time_point until_{};
    int inFlight_ = 0;
};
