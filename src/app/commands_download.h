#pragma once

#include <QVector>

struct HeadlessContext;

enum class ListArgument { NoMatch, Parsed, Bad };

// "--list N" or "--lists N,M,..." at argument *i: Parsed advances *i past the
// value (a list number into `list`, several into `several`); Bad has printed
// what was wrong; NoMatch is any other word or a missing or empty value.
ListArgument parseListArgument(HeadlessContext& c, int* i, int* list, QVector<int>* several);

int cmdDownload(HeadlessContext& context);
