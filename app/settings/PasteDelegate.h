#pragma once

#include <functional>

namespace parlivo {

// Receiver of the Paste command: the drop view of the web client host. It reads the general
// clipboard itself (asynchronously: its owner is another program) and answers, later on the main
// thread, true when it consumed it (files and images handed to the chat); false lets the focused
// widget of the main window paste instead.
class PasteDelegate {
public:
    virtual ~PasteDelegate() = default;
    virtual void paste(std::function<void(bool handled)> completion) = 0;
};

}  // namespace parlivo
