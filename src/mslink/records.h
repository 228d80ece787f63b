#pragma once

#include "mslink/datafile.h"

#include <vector>

namespace mslink {

// All records of one security as eight parallel arrays, dates ascending.
struct RecordArrays {
    std::vector<qint32> dates, times;
    std::vector<float> opens, highs, lows, closes, volumes, openInterests;

    size_t size() const { return dates.size(); }
    bool empty() const { return dates.empty(); }
    void clear() { *this = RecordArrays(); }
    void append(const Record& r)
    {
        dates.push_back(r.date);
        times.push_back(r.time);
        opens.push_back(r.open);
        highs.push_back(r.high);
        lows.push_back(r.low);
        closes.push_back(r.close);
        volumes.push_back(r.volume);
        openInterests.push_back(r.openInterest);
    }
    Record at(size_t i) const
    {
        return {dates[i], times[i], opens[i], highs[i], lows[i], closes[i], volumes[i], openInterests[i]};
    }
};

}  // namespace mslink
