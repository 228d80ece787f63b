#pragma once

#include "support/messages.h"

// Shows the program's messages and questions as message boxes.
class GuiMessages : public Messages {
public:
    Answer show(const Message& message) override;
    void setBusy(bool busy) override;
};
