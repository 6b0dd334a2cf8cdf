#include "web/FileChooserSavePanel.h"

#include <gtkmm/filechoosernative.h>
#include <gtkmm/filefilter.h>
#include <gtkmm/dialog.h>
#include <gtkmm/window.h>

#include "foundation/Localized.h"
#include "foundation/MainQueue.h"

namespace parlivo {

void FileChooserSavePanel::run(const Options& options, std::function<void(std::optional<std::filesystem::path>)> done) {
    auto parent = parent_.lock();
    auto dialog = Gtk::FileChooserNative::create(options.title, Gtk::FILE_CHOOSER_ACTION_SAVE,
                                                 platform::localized("SAVE_PANEL_SAVE", "_Save"),
                                                 platform::localized("SAVE_PANEL_CANCEL", "_Cancel"));
    if (parent) dialog->set_transient_for(*parent);
    dialog->set_modal(true);
    dialog->set_do_overwrite_confirmation(true);
    dialog->set_create_folders(true);
    dialog->set_show_hidden(false);
    if (!options.suggestedName.empty()) dialog->set_current_name(options.suggestedName);
    auto filter = Gtk::FileFilter::create();
    bool filtered = false;
    if (options.mimeType && !options.mimeType->empty()) {
        filter->add_mime_type(*options.mimeType);
        filter->set_name(*options.mimeType);
        filtered = true;
    } else if (options.extension && !options.extension->empty()) {
        filter->add_pattern("*." + *options.extension);
        filter->set_name("*." + *options.extension);
        filtered = true;
    }
    if (filtered) dialog->add_filter(filter);
    // The handler keeps the dialog alive until it has answered once; then it lets go of it.
    auto answered = std::make_shared<bool>(false);
    auto connection = std::make_shared<sigc::connection>();
    *connection = dialog->signal_response().connect([dialog, done = std::move(done), answered, connection](int response) {
        if (*answered) return;
        *answered = true;
        std::optional<std::filesystem::path> path;
        if (response == Gtk::RESPONSE_ACCEPT) {
            const std::string chosen = dialog->get_filename();
            if (!chosen.empty()) path = chosen;
        }
        dialog->hide();
        done(path);
        platform::MainQueue::async([connection] { connection->disconnect(); });
    });
    dialog->show();
}

}  // namespace parlivo
