// Decoding one answer of the current-quote endpoint for a full batch of 180
// tickers, as each batch of a download run does. Prints the mean and the
// best time per answer; the aim is well under 1 ms.
#include "quotes/currentquotes.h"

#include <QByteArray>
#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

QByteArray answer180()
{
    QByteArray body;
    for (int i = 0; i < 180; ++i) {
        const QByteArray t = "TCK" + QByteArray::number(i) + (i % 3 == 0 ? ".AS" : "");
        if (i % 20 == 19) {  // an unknown symbol, echoed
            body += "\"" + t + "\",\"N/A\",\"N/A\",N/A,N/A,N/A,0.00,N/A,\"" + t + "\"\r\n";
            continue;
        }
        const QByteArray name = i % 7 == 0 ? "\"Fuel Tech, Inc.\"" : "\"INTL BUSINESS MAC\"";
        body += "\"" + t + "\",\"6/4/2004\",\"4:00pm\",90.10,90.95,89.81,90.04," + QByteArray::number(4132300 + i) +
                "," + name + "\r\n";
    }
    return body;
}

}  // namespace

int main()
{
    using Clock = std::chrono::steady_clock;
    const QByteArray body = answer180();
    const int rounds = 2000;
    double best = 1e9;
    qsizetype accepted = 0;
    const auto start = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        const CurrentQuotes q = decodeCurrentQuotes(body, true, 2031);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        best = std::min(best, us);
        accepted = q.size();
    }
    const double mean = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
    std::printf("decode of a 180-line answer (%lld bytes, %lld accepted): mean %.1f us, best %.1f us over %d rounds\n",
                static_cast<long long>(body.size()), static_cast<long long>(accepted), mean, best, rounds);
    return 0;
}
