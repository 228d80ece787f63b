#pragma once

#include <QString>

// The maker's home page and support address, opened in the user's browser
// and mail program.
namespace links {
QString homePage();
QString supportAddress();
void openHomePage();
void openSupportMail();
}  // namespace links
