#pragma once

#include "gateway/httpserver.h"
#include "gateway/livejson.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

class QuoteSource;
struct QuoteFetch;

// /d/quotes.csv (current quotes, names and exchanges) and /d/quotes (the
// members of an index from the user's member lists).
class QuoteAnswers {
public:
    QuoteAnswers(QuoteSource& source, QString dataFolder);

    void quotes(const LegacyRequest& request, HttpServer::Respond respond);
    void members(const LegacyRequest& request, HttpServer::Respond respond);

    static constexpr int kMembersPage = 50;
    // The most symbols the program puts into one request.
    static constexpr int kMaxSymbols = 180;
    // Work finished while nobody waited is kept this long for the retry.
    static constexpr qint64 kKeepMs = 10 * 60 * 1000;

private:
    struct Work;
    void answer(const QStringList& asked, const QByteArray& fields, const LegacyRequest& request,
                HttpServer::Respond respond);
    void done(const QString& key, const QuoteFetch& result);
    void deadline(const QString& key, const std::shared_ptr<ClientWatch>& client);
    void waiterEnded(const QString& key, const std::shared_ptr<ClientWatch>& client, ClientWatch::End end);

    QuoteSource& source_;
    QString dataFolder_;
    // The work under way or not yet served, by its symbols: a retry of the
    // program joins it instead of starting again.
    QHash<QString, std::shared_ptr<Work>> works_;
    QElapsedTimer clock_;
};

// One CSV line (with CR LF) in the legacy layout for the field codes of
// `fields` ("sd1t1ohgl1vn", "snx"); `asked` is the symbol as the program
// sent it. A value the provider did not send is "N/A" (an index's open and
// range of 0 are its last price). Without an instrument: the echo line of
// an unknown symbol.
QByteArray legacyLine(const QString& asked, const livejson::Instrument* instrument, const QByteArray& fields);
