#pragma once

#include <QString>
#include <QStringView>

// The market of a ticker's exchange suffix ("AS" is Amsterdam); empty for a
// suffix without a market of its own. Compared exactly.
QString marketOfSuffix(QStringView suffix);
