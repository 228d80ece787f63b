#pragma once

struct HeadlessContext;

// quotaris formats: every export format with its state, folder and options.
int cmdFormats(HeadlessContext& context);

// quotaris format LETTER on|off [--folder DIR] [--long-names on|off]
//   [--extension PRN|TXT|ASC|CSV] [--open-interest on|off]
//   [--max-symbols 255|2000|6000|999999]
// Changes a format as the location window does, with the same checks.
int cmdFormat(HeadlessContext& context);
