#include "quotes/gap.h"

void GapTimer::start() { until_ = Clock::now() + std::chrono::milliseconds(interval_); }

void GapTimer::stop() { until_ = Clock::time_point{}; }

bool GapTimer::running() const { return inFlight_ > 0 || Clock::now() < until_; }

void GapTimer::requestEnded()
{
    if (inFlight_ > 0)
        --inFlight_;
    start();
}
