#include "config/DynamicDataErrorViewController.h"

#include <gtkmm/button.h>
#include <gtkmm/container.h>
#include <gtkmm/label.h>

#include "WQApplicationInfo.h"
#include "config/DynamicData.h"
#include "config/WQSendMail.h"
#include "controls/InterfaceFile.h"
#include "foundation/Localized.h"
#include "settings/Keys.h"

namespace parlivo {

namespace {

// The wording travels with each key as the translators' comment; the table holds the text.
std::string text(const char* key) { return platform::localizedComment(key, ""); }

// A string as an optional value prints it: quoted, with quotes, backslashes and line breaks escaped.
std::string printedOptional(const std::optional<std::string>& value) {
    if (!value) return "nil";
    std::string quoted = "Optional(\"";
    for (char c : *value) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default: quoted += c;
        }
    }
    return quoted + "\")";
}

class ErrorScreen : public DynamicDataErrorViewController {
public:
    ErrorScreen()
        : file_(InterfaceFile::load("DynamicDataErrorView")),
          view_(file_.outlet<Gtk::Widget>("errorView")),
          errorHeaderTextField_(file_.outlet<Gtk::Label>("errorHeaderTextField")),
          errorBodyTextField_(file_.outlet<Gtk::Label>("errorBodyTextField")),
          tryAgainButton_(file_.outlet<Gtk::Button>("tryAgainButton")),
          supportButton_(file_.outlet<Gtk::Button>("supportButton")) {
        tryAgainButton_->set_label(text("DYNAMIC_DATA_ERROR_TRY_AGAIN"));
        supportButton_->set_label(text("DYNAMIC_DATA_ERROR_CONTACT_SUPPORT"));
        connections_.push_back(tryAgainButton_->signal_clicked().connect([this] { tryAgainButtonClicked(); }));
        connections_.push_back(supportButton_->signal_clicked().connect([] { sendConnectionProblemMail(); }));
        // Mapping is the view's "will appear": the texts follow the latest failure every time.
        connections_.push_back(view_->signal_map().connect([this] { updateErrorTexts(); }));
        updateErrorTexts();
    }

    ~ErrorScreen() override {
        // The host may still hold the view: it must not call back into a gone controller.
        for (auto& connection : connections_) connection.disconnect();
        if (auto* parent = view_->get_parent()) dynamic_cast<Gtk::Container&>(*parent).remove(*view_);
    }

    Gtk::Widget& view() override { return *view_; }
    void setTryAgainAction(std::function<void()> action) override { tryAgainAction_ = std::move(action); }

    void updateErrorTexts() override {
        errorHeaderTextField_->set_text(headerText());
        errorBodyTextField_->set_text(bodyText(DynamicData::shared().error));
    }

private:
    void tryAgainButtonClicked() {
        if (tryAgainAction_) tryAgainAction_();
    }

    InterfaceFile file_;  // holds the widget tree while no container does
    Gtk::Widget* view_;
    Gtk::Label* errorHeaderTextField_;
    Gtk::Label* errorBodyTextField_;
    Gtk::Button* tryAgainButton_;
    Gtk::Button* supportButton_;
    std::function<void()> tryAgainAction_;
    std::vector<sigc::connection> connections_;
};

}  // namespace

std::shared_ptr<DynamicDataErrorViewController> DynamicDataErrorViewController::create() {
    return std::make_shared<ErrorScreen>();
}

std::string DynamicDataErrorViewController::headerText() { return text("DYNAMIC_DATA_ERROR_HEADER"); }

std::string DynamicDataErrorViewController::bodyText(const std::optional<platform::Error>& error) {
    const char* key = "DYNAMIC_DATA_ERROR_DEFAULT_BODY";
    if (error && error->domain == platform::URLErrorDomain) {
        if (error->code == platform::URLErrorCode::secureConnectionFailed)
            key = "DYNAMIC_DATA_ERROR_SSL_MAC_BODY";
        else if (error->code == platform::URLErrorCode::notConnectedToInternet)
            key = "DYNAMIC_DATA_ERROR_OFFLINE_MAC_BODY";
    }
    return platform::localizedFormat(text(key), {tovak::WQApplicationInfo::applicationName()});
}

std::string DynamicDataErrorViewController::errorReport(const std::optional<std::string>& errorDescription,
                                                        const std::optional<platform::Error>& error) {
    return printedOptional(errorDescription) + "\n---\n" +
           (error ? "Optional(" + error->description() + ")" : std::string("nil"));
}

void DynamicDataErrorViewController::sendConnectionProblemMail() {
    const DynamicData& data = DynamicData::shared();
    WQSendMail mail;
    sendConnectionProblemMail(mail, data.errorDescription, data.error);
}

void DynamicDataErrorViewController::sendConnectionProblemMail(WQSendMail& mail,
                                                               const std::optional<std::string>& errorDescription,
                                                               const std::optional<platform::Error>& error) {
    const std::string subject = tovak::WQApplicationInfo::applicationName() + " connection problem";
    const std::string body = std::string(WQSendMail::personalMessagePrompt) + WQSendMail::errorSeparator +
                             errorReport(errorDescription, error);
    mail.composeSupportMail(std::string(constants::supportAddress), subject, false, body);
    mail.send();
}

}  // namespace parlivo
