#pragma once

#include "gateway/httpserver.h"
#include "gateway/livejson.h"

#include <QDate>

class Upstream;

// /table.csv: the daily history of one symbol for one date range, from the
// chart endpoint.
class HistoryAnswers {
public:
    HistoryAnswers(Upstream& upstream, int quoteCacheMs);

    void table(const LegacyRequest& request, HttpServer::Respond respond);

private:
    Upstream& upstream_;
    int quoteCacheMs_;
};

// The legacy CSV body of the bars of `chart` whose session day lies in
// [start, end]: header, newest first, LF line ends. Bars without all four
// prices are left out (counted in `withoutPrices`, and on a last line
// "Left out,N,days without prices"); of two bars on one day the later
// counts. The adjusted close leaves a fund's capital gains out. Empty when
// no bar is left. The chart's splits within the range follow the rows, one line
// each: "Split,D-Mon-YY,NUMERATOR:DENOMINATOR". The program's decoder passes
// over such a line as it does over any short one; its integrity check reads
// them to tell a split the provider left out of earlier days.
QByteArray historyCsv(const livejson::Chart& chart, const QDate& start, const QDate& end, int* withoutPrices = nullptr);
