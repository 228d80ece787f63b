#pragma once

#include <QString>

namespace mslink {

// The library's check of itself at start-up: number encodings against known
// bytes and a security through the master files and a data record and back.
// Returns an empty text when all is well, else what failed.
QString selfCheck();

}  // namespace mslink
