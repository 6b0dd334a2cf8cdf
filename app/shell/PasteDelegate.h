#pragma once

namespace parlivo {

// Receiver of the Paste command: the drop view of the web client host. It reads the general
// clipboard itself and answers true when it consumed it (files and images handed to the chat);
// false lets the focused widget of the main window paste instead.
class PasteDelegate {
public:
    virtual ~PasteDelegate() = default;
    virtual bool paste() = 0;
};

}  // namespace parlivo
