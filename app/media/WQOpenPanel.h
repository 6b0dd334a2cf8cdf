#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Gtk {
class Window;
}

namespace parlivo {

// The open panel as the web media controller sees it: the desktop's file chooser in the
// program (FileChooserOpenPanel), a fake in tests. Main thread only.
class WQOpenPanel {
public:
    struct Options {
        // Type identifiers (or file-name extensions) the user may choose; empty: every file.
        std::vector<std::string> allowedFileTypes;
        bool allowsMultipleSelection = false;
        bool allowsOtherFileTypes = false;
        bool canChooseFiles = true;
        bool canChooseDirectories = false;
    };

    // What a file chooser's filter lets through for a list of allowed types. A chooser (and a
    // desktop portal) filters by MIME types and name patterns only, so each type identifier is
    // spelled out as the MIME types and extensions of the types that conform to it.
    struct Filter {
        bool everything = false;             // no filter: every file may be chosen
        std::vector<std::string> mimeTypes;  // "image/*" for a whole top-level kind
        std::vector<std::string> patterns;   // "*.[hH][eE][iI][cC]": extensions, in either case
        std::string name;                    // what the chooser calls the filter
    };
    static Filter filterFor(const std::vector<std::string>& allowedFileTypes);

    using Completion = std::function<void(std::optional<std::vector<std::filesystem::path>> urls)>;

    virtual ~WQOpenPanel() = default;
    // Shows the panel attached to `window` without blocking the main loop. `done` runs once, on
    // the main loop, with the chosen files, or none when the user cancelled.
    virtual void beginSheet(const std::shared_ptr<Gtk::Window>& window, const Options& options, Completion done) = 0;
};

}  // namespace parlivo
