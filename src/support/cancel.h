#pragma once

// A request to stop, owned by whoever started the work (a run, a window)
// and handed to what works for it. Cancelling is final for that work:
// reset() only comes with the next start.
//
// A token made with an outer one is cancelled with it as well: a window
// within a run stops what it shows when it is closed and when the run is
// stopped, while closing it touches nothing of the run. The outer token
// outlives the inner one.
class CancelToken {
public:
    CancelToken() = default;
    explicit CancelToken(const CancelToken* outer) : outer_(outer) {}

    void cancel() { cancelled_ = true; }
    void reset() { cancelled_ = false; }
    bool cancelled() const { return cancelled_ || (outer_ && outer_->cancelled()); }

private:
    const CancelToken* outer_ = nullptr;
    bool cancelled_ = false;
};
