#pragma once

#include "gateway/httpserver.h"

#include <QString>
#include <functional>

namespace livejson {
struct Chart;
}

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
    static constexpr int kMaxSearchText = 200;

private:
    // Asks a chart for a page: an unknown symbol gets the invalid-ticker
    // page, a failure no answer at all; a chart goes to `onChart`, which
    // answers.
    void chartPage(const LegacyRequest& request, const QString& symbol, const QString& query,
                   std::function<void(const livejson::Chart&)> onChart, HttpServer::Respond respond);
    void firstBar(const LegacyRequest& request, const QString& symbol, HttpServer::Respond respond);
    // The first page from the search endpoint, when the lookup endpoint
    // gives no page.
    void searchPage(const LegacyRequest& request, const QString& text, bool us, const QString& kind,
                    HttpServer::Respond respond);

    Upstream& upstream_;
    QString dataFolder_;
};
