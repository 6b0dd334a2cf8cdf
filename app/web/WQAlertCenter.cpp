#include "web/WQAlertCenter.h"

#include <glib.h>

#include <optional>

#include "DebugPrint.h"
#include "StringExtensions.h"
#include "settings/Enums.h"
#include "settings/PrivacyGate.h"
#include "settings/Trellik.h"
#include "web/WQAlertDialog.h"

namespace parlivo {

namespace {

bool fits(const std::string& text, std::size_t limit) {
    return text.size() <= limit && g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

const platform::PropertyList* entry(const platform::PropertyList::Dictionary& body, const char* key) {
    const auto found = body.find(key);
    return found == body.end() ? nullptr : &found->second;
}

}  // namespace

WQAlertCenter& WQAlertCenter::shared() {
    struct Made : WQAlertCenter {};
    static auto* instance = [] {
        auto* center = new Made();
        center->setPresenter(makeAlertDialogPresenter());
        return center;
    }();
    return *instance;
}

WQAlertCenter::WQAlertCenter() : WQAlertCenter(std::string(parlivo::appearance(Trellik::shared().currentVisualStyle()))) {}

WQAlertCenter::WQAlertCenter(std::string appearanceName) : appearance_(std::move(appearanceName)) {
    lockObserver_ = PrivacyGate::shared().addLockObserver([this](bool locked) {
        if (presenter_) presenter_->setSuspended(locked);
    });
}

WQAlertCenter::~WQAlertCenter() { *alive_ = false; }

void WQAlertCenter::setPresenter(std::shared_ptr<Presenter> presenter) {
    presenter_ = std::move(presenter);
    if (presenter_ && PrivacyGate::isLocked()) presenter_->setSuspended(true);
}

void WQAlertCenter::setWindow(std::weak_ptr<Gtk::Window> window) { window_ = std::move(window); }
void WQAlertCenter::setAppearance(std::string appearanceName) { appearance_ = std::move(appearanceName); }

platform::ScriptMessageShape WQAlertCenter::messageShape(std::string_view) const {
    // Room for every text that can be shown, and for the page's own JSON overhead of none.
    return platform::ScriptMessageShape::dictionary(maximumTitleSize + maximumMessageSize +
                                                    maximumButtonCount * maximumButtonTitleSize + 1024);
}

void WQAlertCenter::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    if (message.name != messageName) return;
    const auto* body = message.body.asDictionary();
    if (!body) return;
    const auto* id = entry(*body, "id");
    const auto* title = entry(*body, "title");
    const auto* text = entry(*body, "message");
    const auto* titles = entry(*body, "buttonTitles");
    if (!id || !id->asInt() || !title || !title->asString() || !text || !text->asString() || !titles ||
        !titles->asArray())
        return;
    const auto& elements = *titles->asArray();
    bool showable = fits(*title->asString(), maximumTitleSize) && fits(*text->asString(), maximumMessageSize) &&
                    elements.size() <= maximumButtonCount;
    for (const auto& element : elements)
        if (const auto* buttonTitle = element.asString()) showable = showable && fits(*buttonTitle, maximumButtonTitleSize);
    if (!showable) {
        tovak::debugPrint(kClassName, "Alert request too large to show; dropped");
        return;
    }

    const int64_t requestId = *id->asInt();
    const std::weak_ptr<platform::JavaScriptEvaluator> webView = message.webView;
    std::vector<AlertButton> buttons;
    for (std::size_t position = 0; position < elements.size(); ++position) {
        // Positions count every element, also those that make no button.
        const auto* buttonTitle = elements[position].asString();
        if (!buttonTitle) continue;
        buttons.push_back({*buttonTitle, [webView, requestId, position] {
                               sendAlertCallback(webView, requestId, static_cast<int64_t>(position));
                           }});
    }
    showAlert(*title->asString(), *text->asString(), std::move(buttons), Style::informational,
              [webView, requestId] { sendAlertCallback(webView, requestId, noButtonIndex); });
}

void WQAlertCenter::showAlert(const std::string& title, const std::string& message, std::vector<AlertButton> buttons,
                              Style style) {
    showAlert(title, message, std::move(buttons), style, nullptr);
}

void WQAlertCenter::showAlert(const std::string& title, const std::string& message, std::vector<AlertButton> buttons,
                              Style style, std::function<void()> dismissed) {
    if (!presenter_) return;
    // Behind the lock the alert waits: its texts may be the page's (a sender, a message).
    auto answerDismissed = std::make_shared<std::function<void()>>(dismissed);
    PrivacyGate::shared().showWhenUnlocked(
        [this, alive = std::weak_ptr<bool>(alive_), title, message, buttons = std::move(buttons), style,
         dismissed = std::move(dismissed)]() mutable {
            if (alive.lock()) present(title, message, std::move(buttons), style, std::move(dismissed));
        },
        [answerDismissed] {
            if (*answerDismissed) (*answerDismissed)();
        });
}

void WQAlertCenter::present(const std::string& title, const std::string& message, std::vector<AlertButton> buttons,
                            Style style, std::function<void()> dismissed) {
    if (!presenter_) return;
    Request request;
    request.title = title;
    request.message = message;
    for (const auto& button : buttons) request.buttonTitles.push_back(button.title);
    request.style = style;
    request.appearance = appearance_;
    request.window = window_;
    // The alert ends once: a second report of its end changes nothing.
    auto answered = std::make_shared<bool>(false);
    presenter_->present(request, [buttons = std::move(buttons), dismissed = std::move(dismissed),
                                  answered](long response) {
        if (std::exchange(*answered, true)) return;
        handleAlertResponse(response, buttons, dismissed);
    });
}

void WQAlertCenter::handleAlertResponse(long response, const std::vector<AlertButton>& buttons,
                                        const std::function<void()>& dismissed) {
    const long position = response - firstButtonResponse;
    if (position >= 0 && static_cast<std::size_t>(position) < buttons.size()) {
        if (const auto& action = buttons[static_cast<std::size_t>(position)].action) action();
        return;
    }
    if (dismissed) dismissed();
}

void WQAlertCenter::sendAlertCallback(const std::weak_ptr<platform::JavaScriptEvaluator>& webView, int64_t id,
                                      int64_t index) {
    if (auto view = webView.lock()) view->evaluateJavaScript(callbackScript(id, index));
}

std::string WQAlertCenter::callbackScript(int64_t id, int64_t index) {
    return "wqAlertCenter.callback(" + tovak::jsNumber(id) + ", " + tovak::jsNumber(index) + ");";
}

}  // namespace parlivo
