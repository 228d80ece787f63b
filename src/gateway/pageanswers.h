#pragma once

#include "gateway/httpserver.h"

#include <QString>

class Upstream;

// The HTML pages the program reads: the historical-prices page (first date
// of history), the quote page (changed tickers) and the symbol lookup.
class PageAnswers {
public:
    PageAnswers(Upstream& upstream, QString dataFolder);

    void historyPrices(const LegacyRequest& request, HttpServer::Respond respond);
    void quotePage(const LegacyRequest& request, HttpServer::Respond respond);
    void lookup(const LegacyRequest& request, HttpServer::Respond respond);

    static constexpr int kLookupPage = 50;

private:
    void firstBar(const QString& symbol, HttpServer::Respond respond);

    Upstream& upstream_;
    QString dataFolder_;
};
