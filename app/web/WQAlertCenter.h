#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/ObserverToken.h"
#include "web/ScriptMessage.h"

namespace Gtk {
class Window;
}

namespace parlivo {

// One button of an alert: its title and what pressing it does.
struct AlertButton {
    std::string title;
    std::function<void()> action;
};

// The page's alerts: "WQAlertHandler" requests ({id, title, message, buttonTitles}) become a
// native alert on the main window (modal dialog, transient for it), and the pressed button is
// answered with wqAlertCenter.callback(id, index). One shared instance, never destroyed.
//
// Every alert a valid request opens is answered exactly once. The index is the pressed button's
// position in "buttonTitles"; an alert that ends without one of the page's buttons (closed,
// Escape, or the plain OK of a request that named no button) is answered with noButtonIndex.
// Requests of the wrong shape, or too large to show, are dropped without an answer.
//
// Nothing of an alert shows while the privacy lock is on: one asked for meanwhile waits for the
// lock's release (PrivacyGate), and alerts already open step aside (hidden, unanswered) until
// then. An alert the gate cannot keep is answered as dismissed.
class WQAlertCenter : public platform::ScriptMessageHandler {
public:
    static constexpr std::string_view kClassName = "WQAlertCenter";
    static constexpr std::string_view messageName = "WQAlertHandler";
    enum class Style { warning, informational, critical };

    // The answer's index for an alert that ended without one of the page's buttons.
    static constexpr int64_t noButtonIndex = -1;
    // Response codes: the first button's, each further button one more; and an alert that
    // ended without a button press.
    static constexpr long firstButtonResponse = 1000;
    static constexpr long dismissedResponse = 0;
    // Requests beyond these are refused: an alert is a few lines with a few buttons.
    static constexpr std::size_t maximumTitleSize = 4 * 1024;
    static constexpr std::size_t maximumMessageSize = 64 * 1024;
    static constexpr std::size_t maximumButtonCount = 16;
    static constexpr std::size_t maximumButtonTitleSize = 256;

    // What goes on screen for one alert.
    struct Request {
        std::string title;
        std::string message;
        std::vector<std::string> buttonTitles;  // in order; empty: the platform's own OK
        Style style = Style::informational;
        std::string appearance;  // platform::Appearance::kVibrantLight / kVibrantDark, or empty
        // The window the alert belongs to; none: the application's active window, or none.
        std::weak_ptr<Gtk::Window> window;
    };
    // Puts alerts on screen. present() returns at once; `done` runs once on the main thread
    // when the alert ends, with firstButtonResponse + the pressed button's position, or
    // dismissedResponse.
    class Presenter {
    public:
        virtual ~Presenter() = default;
        virtual void present(const Request& request, std::function<void(long response)> done) = 0;
        // While suspended (the privacy lock is on) no alert is on screen: those open are hidden
        // and come back, unanswered, when the suspension ends.
        virtual void setSuspended(bool suspended) {}
    };

    static WQAlertCenter& shared();

    // The window alerts are shown on; the main view controller sets it when its view appears.
    void setWindow(std::weak_ptr<Gtk::Window> window);
    const std::weak_ptr<Gtk::Window>& window() const { return window_; }
    // The appearance name (platform::Appearance::kVibrantLight / kVibrantDark) alerts take.
    void setAppearance(std::string appearanceName);
    const std::string& appearance() const { return appearance_; }
    // The shared centre shows GTK message dialogs (WQAlertDialog.h); tests put their own.
    void setPresenter(std::shared_ptr<Presenter> presenter);

    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    platform::ScriptMessageShape messageShape(std::string_view name) const override;
    void showAlert(const std::string& title, const std::string& message, std::vector<AlertButton> buttons, Style style);
    // The same; `dismissed` runs when the alert ends without one of `buttons`.
    void showAlert(const std::string& title, const std::string& message, std::vector<AlertButton> buttons, Style style,
                   std::function<void()> dismissed);

    // Runs the action of the button the response names, else `dismissed`.
    static void handleAlertResponse(long response, const std::vector<AlertButton>& buttons,
                                    const std::function<void()>& dismissed);
    // Answers the page that sent the request, while its web view still exists.
    static void sendAlertCallback(const std::weak_ptr<platform::JavaScriptEvaluator>& webView, int64_t id,
                                  int64_t index);
    // wqAlertCenter.callback(<id>, <index>);
    static std::string callbackScript(int64_t id, int64_t index);

protected:
    // The appearance of the current visual style.
    WQAlertCenter();
    explicit WQAlertCenter(std::string appearanceName);
    ~WQAlertCenter() override;

private:
    void present(const std::string& title, const std::string& message, std::vector<AlertButton> buttons, Style style,
                 std::function<void()> dismissed);

    std::weak_ptr<Gtk::Window> window_;
    std::string appearance_;
    std::shared_ptr<Presenter> presenter_;
    platform::ObserverToken lockObserver_;
    // Alerts that wait for the lock's release reach the centre only while it exists.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
