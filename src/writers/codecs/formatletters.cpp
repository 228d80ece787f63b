// Prints the letters of the format registry as CMake settings, for the
// files the build fills in with them (the bash completion, the manual page).
#include "writers/formatregistry.h"

#include <cstdio>

int main()
{
    const auto print = [](const char* name, const QString& value) {
        std::printf("set(%s \"%s\")\n", name, value.toUtf8().constData());
    };
    // Every format, in the order of the Export format menu: "A M S P ...".
    print("QUOTARIS_FORMAT_LETTERS", formats::letters(formats::all(), QStringLiteral(" "), QStringLiteral(" ")));
    // The formats check reads, in its order: "C S D K M".
    print("QUOTARIS_CHECK_LETTERS", formats::letters(formats::checkOrder(), QStringLiteral(" "), QStringLiteral(" ")));
    // The same as the manual page's --format alternatives.
    print("QUOTARIS_CHECK_LETTERS_MAN", QStringLiteral("\\\\fB") +
                                            formats::letters(formats::checkOrder(), QStringLiteral("\\\\fR|\\\\fB"),
                                                             QStringLiteral("\\\\fR|\\\\fB")) +
                                            QStringLiteral("\\\\fR"));
    return 0;
}
