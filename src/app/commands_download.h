#pragma once

#include "support/state.h"

#include <QVector>

struct HeadlessContext;

enum class ListArgument { NoMatch, Parsed, Bad };

// "--list N" or "--lists N,M,..." at argument *i: Parsed advances *i past the
// value (a list number into `list`, several into `several`); Bad has printed
// what was wrong; NoMatch is any other word or a missing or empty value.
ListArgument parseListArgument(HeadlessContext& c, int* i, int* list, QVector<int>* several);

// Gives a run (current or historical) the lists of the command line: several
// lists count for this run only; none given means as the download window is
// set.
template <class Run>
void chooseLists(Run& run, int list, const QVector<int>& several)
{
    ProgramSettings& s = settings();
    if (!several.isEmpty()) {
        run.severalLists = true;
        for (int n = 1; n <= 16; ++n)
            s.dList[n] = several.contains(n);
    } else if (list) {
        run.list = list;
    } else {
        run.severalLists = s.multiplelists;
        run.list = s.lijst;
    }
}

int cmdDownload(HeadlessContext& context);
