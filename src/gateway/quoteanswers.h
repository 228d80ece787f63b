#pragma once

#include "gateway/httpserver.h"
#include "gateway/livejson.h"

#include <QList>
#include <QString>

class QuoteSource;

// /d/quotes.csv (current quotes, names and exchanges) and /d/quotes (the
// members of an index from the user's member lists).
class QuoteAnswers {
public:
    QuoteAnswers(QuoteSource& source, QString dataFolder);

    void quotes(const LegacyRequest& request, HttpServer::Respond respond);
    void members(const LegacyRequest& request, HttpServer::Respond respond);

    static constexpr int kMembersPage = 50;

private:
    void answer(const QStringList& asked, const QByteArray& fields, HttpServer::Respond respond);

    QuoteSource& source_;
    QString dataFolder_;
};

// One CSV line (with CR LF) in the legacy layout for the field codes of
// `fields` ("sd1t1ohgl1vn", "snx"); `asked` is the symbol as the program
// sent it. Without an instrument: the echo line of an unknown symbol.
QByteArray legacyLine(const QString& asked, const livejson::Instrument* instrument, const QByteArray& fields);
