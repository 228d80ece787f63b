#pragma once

#include <QString>
#include <functional>

class QWidget;

// Closing a window while a download or the scheduler runs: the user is told
// why it stays open and may stop it and close in one go.
namespace stopandclose {

// Shows `refusal` with the choice "Stop and quit" or "Cancel"; true for the
// first.
bool ask(const QString& refusal);

// Once `idle` holds (checked every 100 ms), closes `window`: its frame in the
// main window, or the whole program when the close came from quitting it.
void closeWhenIdle(QWidget* window, std::function<bool()> idle);

}  // namespace stopandclose
