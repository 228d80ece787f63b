#pragma once

#include "quotes/integrity.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

// The download options: request time-out and attempts, request delay,
// logging, euro conversion, split adjustment, rejection of quotes without
// volume, the current-quote top-up of the historical run and the server
// choice. Every change takes effect in the process-wide settings at once;
// save() stores them.
namespace options {

constexpr int kMaxSeconds = 60;  // time-out and attempts offer 1..60
constexpr int kDelayStep = 125;  // the delay is a multiple of 125 ms
constexpr int kDelayItems = 80;  // 125 .. 10000 ms
constexpr int kDefaultDelay = 1500;

// The items of the choice lists, as the window shows them.
QStringList secondsItems();  // "1" .. "60"
QStringList delayItems();    // "125" .. "10000"

// The item of the delay list for a delay in ms (the truncated quotient
// minus one, kept inside the list).
int delayIndex(int ms);

// The question asked before the delay is switched off.
QString delayQuestion();

// Switches the delay on, or off after the question; returns the new state.
// The choice is stored at once.
bool setDelay(bool on);

// What is done with a quote the integrity check finds fault with (store key
// IntegrityAction: flag, repair or skip), stored at once. The choice
// list's items follow the order of integrity::Action.
void setIntegrityAction(integrity::Action action);
QStringList integrityItems();

// Every option back to its default, then saved.
void setDefaults();

// Stores the options: the row's teller2..teller5, the store's split,
// dcurrent, server, Isdelay, reject and Intervaldownload.
void save();

// Sets one option by its setting name (teller2, teller3, teller4, teller5,
// Isdelay, IntervalDownload, split, dcurrent, reject, server,
// IntegrityAction) from text,
// within the values the window offers, and saves. Returns an error text,
// empty on success.
QString setByName(const QString& name, const QString& value);

// Each option's setting name and value, for printing.
QVector<QPair<QString, QString>> describe();

// The lists of a several-lists run.
void saveDownloadLists(const std::array<bool, 17>& chosen);

// The lists chosen for a several-lists run, in order.
QVector<int> chosenLists();

// "name1, name2" of the lists chosen for a several-lists run.
QString chosenListNames();

}  // namespace options
