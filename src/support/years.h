#pragma once

// Expands a two-digit year: up to the current two-digit year plus one it is
// 20xx, above that 19xx. Shared by every reader of two-digit years so that
// the quote files and the service's answers agree on the century.
int expandTwoDigitYear(int twoDigits);
