#include "media/FileChooserOpenPanel.h"

#include <gtkmm/dialog.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/filefilter.h>
#include <gtkmm/window.h>

#include "foundation/Localized.h"
#include "foundation/MainQueue.h"

namespace parlivo {

void FileChooserOpenPanel::beginSheet(const std::shared_ptr<Gtk::Window>& window, const Options& options,
                                      Completion done) {
    const auto action = options.canChooseFiles || !options.canChooseDirectories ? Gtk::FILE_CHOOSER_ACTION_OPEN
                                                                                : Gtk::FILE_CHOOSER_ACTION_SELECT_FOLDER;
    auto dialog = Gtk::FileChooserNative::create(platform::localized("OPEN_PANEL_TITLE", "Open"), action,
                                                 platform::localized("OPEN_PANEL_OPEN", "_Open"),
                                                 platform::localized("OPEN_PANEL_CANCEL", "_Cancel"));
    if (window) dialog->set_transient_for(*window);
    dialog->set_modal(true);
    dialog->set_local_only(true);
    dialog->set_select_multiple(options.allowsMultipleSelection);

    const Filter filter = filterFor(options.allowedFileTypes);
    if (!filter.everything) {
        auto allowed = Gtk::FileFilter::create();
        allowed->set_name(filter.name);
        for (const auto& mimeType : filter.mimeTypes) allowed->add_mime_type(mimeType);
        for (const auto& pattern : filter.patterns) allowed->add_pattern(pattern);
        dialog->add_filter(allowed);
        if (options.allowsOtherFileTypes) {
            auto all = Gtk::FileFilter::create();
            all->set_name(platform::localized("OPEN_PANEL_ALL_FILES", "All Files"));
            all->add_pattern("*");
            dialog->add_filter(all);
        }
        dialog->set_filter(allowed);
    }

    // The handler keeps the dialog alive until it has answered once; then it lets go of it.
    auto answered = std::make_shared<bool>(false);
    auto connection = std::make_shared<sigc::connection>();
    *connection = dialog->signal_response().connect([dialog, done = std::move(done), answered, connection](int response) {
        if (*answered) return;
        *answered = true;
        std::optional<std::vector<std::filesystem::path>> urls;
        if (response == Gtk::RESPONSE_ACCEPT) {
            urls.emplace();
            for (const auto& name : dialog->get_filenames())
                if (!name.empty()) urls->emplace_back(name);
        }
        dialog->hide();
        if (done) done(std::move(urls));
        platform::MainQueue::async([connection] { connection->disconnect(); });
    });
    dialog->show();
}

}  // namespace parlivo
