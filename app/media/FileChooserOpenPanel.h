#pragma once

#include "media/WQOpenPanel.h"

namespace parlivo {

// The open panel as the desktop shows it: GTK's native file chooser (the desktop portal's
// dialog where a portal runs, GTK's own dialog elsewhere), modal for the window it is attached
// to and never blocking the main loop. The allowed types become one filter of MIME types and
// name patterns; with other types allowed, a second filter offers every file.
class FileChooserOpenPanel : public WQOpenPanel {
public:
    void beginSheet(const std::shared_ptr<Gtk::Window>& window, const Options& options, Completion done) override;
};

}  // namespace parlivo
