#include "support/years.h"

#include <QDate>

int expandTwoDigitYear(int twoDigits)
{
    // Reading the clock for every line of a long file would cost more than
    // the rest of the work; the year changes rarely enough.
    static const int pivot = QDate::currentDate().year() % 100 + 1;
    return twoDigits <= pivot ? 2000 + twoDigits : 1900 + twoDigits;
}
