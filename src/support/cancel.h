#pragma once

// A run's request to stop, owned by the run and handed to what works for
// it. Cancelling is final for the run: reset() only comes with the next
// start.
class CancelToken {
public:
    void cancel() { cancelled_ = true; }
    void reset() { cancelled_ = false; }
    bool cancelled() const { return cancelled_; }

private:
    bool cancelled_ = false;
};
