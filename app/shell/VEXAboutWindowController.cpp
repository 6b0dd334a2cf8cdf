#include "shell/VEXAboutWindowController.h"

#include <gtkmm/messagedialog.h>

#include "foundation/Bundle.h"
#include "foundation/FileManager.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "shell/KeyWindow.h"
#include "shell/OpenFailure.h"
#include "system/Workspace.h"

namespace parlivo {

namespace {

std::optional<std::string> infoString(const char* key) { return platform::Bundle::main().infoString(key); }

// The bundle's documents are plain text, and small.
constexpr const char* kDocumentType = "txt";
constexpr std::uintmax_t kDocumentMaxBytes = 4 * 1024 * 1024;

// A document of the bundle, or none when it cannot be read.
std::optional<std::string> readDocument(const std::filesystem::path& path) {
    auto contents = platform::FileManager::contentsAtPath(path, kDocumentMaxBytes);
    if (!contents) return std::nullopt;
    return std::move(*contents);
}

}  // namespace

VEXAboutWindowController::~VEXAboutWindowController() {
    if (!window_) return;
    window_->hide();
    // The pages are top-level objects of the builder: take the shown one out of the window first.
    if (placeHolderView_ && activeView_) placeHolderView_->remove(*activeView_);
    window_.reset();
}

void VEXAboutWindowController::setAcknowledgmentsPath(std::optional<std::string> path) {
    acknowledgmentsPath_ = std::move(path);
    if (acknowledgmentsPath_) {
        acknowledgmentsString_ = readDocument(*acknowledgmentsPath_);
    } else if (acknowledgmentsButton_) {
        if (auto* parent = acknowledgmentsButton_->get_parent())
            dynamic_cast<Gtk::Container*>(parent)->remove(*acknowledgmentsButton_);
        acknowledgmentsButton_ = nullptr;
    }
}

Gtk::Window* VEXAboutWindowController::window() {
    if (!loaded_) {
        loaded_ = true;
        file_ = InterfaceFile::tryLoad("VEXAboutWindow", "the about window");
        if (!file_) return nullptr;
        auto* raw = file_->optionalOutlet<Gtk::Window>("window");
        if (!raw) return nullptr;
        window_.reset(raw);
        // Closing only hides: GTK would otherwise destroy the window, and its pages with it,
        // under this controller, which keeps them until the next about request replaces it.
        window_->signal_delete_event().connect([this](GdkEventAny*) {
            window_->hide();
            return true;
        });
        closeWithEscapeAndControlW(*window_);
        placeHolderView_ = file_->optionalOutlet<Gtk::Box>("placeHolderView");
        infoView_ = file_->optionalOutlet<Gtk::Widget>("infoView");
        acknowledgmentsView_ = file_->optionalOutlet<Gtk::Widget>("acknowledgmentsView");
        creditsTextView_ = file_->optionalOutlet<Gtk::TextView>("creditsTextView");
        acknowledgmentsTextView_ = file_->optionalOutlet<Gtk::TextView>("acknowledgmentsTextView");
        visitWebsiteButton_ = file_->optionalOutlet<Gtk::Button>("visitWebsiteButton");
        acknowledgmentsButton_ = file_->optionalOutlet<Gtk::Button>("acknowledgmentsButton");
        nameLabel_ = file_->optionalOutlet<Gtk::Label>("appNameLabel");
        versionLabel_ = file_->optionalOutlet<Gtk::Label>("appVersionLabel");
        copyrightLabel_ = file_->optionalOutlet<Gtk::Label>("appCopyrightLabel");
        if (visitWebsiteButton_) visitWebsiteButton_->signal_clicked().connect([this] { visitWebsite(); });
        if (acknowledgmentsButton_)
            acknowledgmentsButton_->signal_clicked().connect([this] { showAcknowledgments(); });
        windowDidLoad();
    }
    return window_.get();
}

void VEXAboutWindowController::windowDidLoad() {
    auto& bundle = platform::Bundle::main();
    if (!appName) appName = infoString("CFBundleName").value_or("");
    if (!appVersion) {
        appVersion = platform::localizedFormat(platform::localized("Version %@ (Build %@)", "Version %@ (Build %@)"),
                                        {infoString("CFBundleShortVersionString").value_or(""),
                                         infoString("CFBundleVersion").value_or("")});
    }
    if (!appCopyright) appCopyright = infoString("NSHumanReadableCopyright").value_or("");
    if (visitWebsiteButton_)
        visitWebsiteButton_->set_label(
            platform::localizedFormat(platform::localized("Visit the %@ Website", "Visit the %@ Website"), {*appName}));
    if (acknowledgmentsButton_) acknowledgmentsButton_->set_label(platform::localized("Acknowledgments", "Acknowledgments"));
    if (!acknowledgmentsPath_) {
        auto path = bundle.pathForResource("Acknowledgments", kDocumentType);
        setAcknowledgmentsPath(path ? std::optional<std::string>(path->string()) : std::nullopt);
    }
    if (!appCredits) {
        if (auto path = bundle.pathForResource("Credits", kDocumentType)) appCredits = readDocument(*path);
    }

    window_->set_title(platform::localizedFormat(platform::localized("About %@", "About %@"), {*appName}));
    if (nameLabel_) nameLabel_->set_text(*appName);
    if (versionLabel_) versionLabel_->set_text(*appVersion);
    if (copyrightLabel_) copyrightLabel_->set_text(*appCopyright);
    if (creditsTextView_) {
        creditsTextView_->get_buffer()->set_text(appCredits.value_or(""));
        creditsTextView_->set_editable(false);
    }
    if (acknowledgmentsTextView_) {
        acknowledgmentsTextView_->get_buffer()->set_text(acknowledgmentsString_.value_or(""));
        acknowledgmentsTextView_->set_editable(false);
    }
}

void VEXAboutWindowController::showWindow() {
    if (!window()) return;
    window_->present();
    showView(infoView_);
}

void VEXAboutWindowController::showView(Gtk::Widget* view) {
    if (!view || view == activeView_ || !placeHolderView_) return;
    if (activeView_) placeHolderView_->remove(*activeView_);
    placeHolderView_->pack_start(*view, Gtk::PACK_EXPAND_WIDGET);
    view->show();
    // The page's white ground and thin grey border.
    view->get_style_context()->add_class("frame");
    activeView_ = view;
}

void VEXAboutWindowController::showAcknowledgments() {
    if (useTextViewForAcknowledgments) {
        window();
        if (activeView_ == infoView_) {
            showView(acknowledgmentsView_);
            if (acknowledgmentsButton_) acknowledgmentsButton_->set_label(platform::localized("Credits", "Credits"));
        } else {
            showView(infoView_);
            if (acknowledgmentsButton_)
                acknowledgmentsButton_->set_label(platform::localized("Acknowledgments", "Acknowledgments"));
        }
        return;
    }
    if (!acknowledgmentsPath_) {
        platform::systemLog("Error: couldn't load the acknowledgments file", platform::LogLevel::error);
        return;
    }
    if (auto opened = platform::Workspace::openFile(*acknowledgmentsPath_); !opened) {
        platform::systemLog("Error: couldn't open the acknowledgments file: " + opened.error().message,
                            platform::LogLevel::error);
        tellCouldNotOpen(*acknowledgmentsPath_);
    }
}

void VEXAboutWindowController::tellCouldNotOpen(const std::string& address) {
    const auto text = openFailureText(address);
    auto* dialog = new Gtk::MessageDialog(text.title, false, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK, true);
    dialog->set_secondary_text(text.message);
    if (window_) dialog->set_transient_for(*window_);
    dialog->signal_response().connect([dialog](int) {
        dialog->hide();
        // Deleted on a later turn: this handler runs inside the dialog's own signal.
        platform::MainQueue::async([dialog] { delete dialog; });
    });
    dialog->present();
}

void VEXAboutWindowController::visitWebsite() {
    if (!appWebsiteURL) {
        platform::systemLog("Error: please set the appWebsiteURL property on the about window",
                            platform::LogLevel::error);
        return;
    }
    if (auto opened = platform::Workspace::openURL(*appWebsiteURL); !opened) {
        platform::systemLog("Error: couldn't open the web site: " + opened.error().message, platform::LogLevel::error);
        tellCouldNotOpen(*appWebsiteURL);
    }
}

}  // namespace parlivo
