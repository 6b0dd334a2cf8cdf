#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
class WQAlertCenter : public platform::ScriptMessageHandler {
public:
    static constexpr std::string_view messageName = "WQAlertHandler";
    enum class Style { warning, informational, critical };

    static WQAlertCenter& shared();

    // The window alerts are shown on; the main view controller sets it when its view appears.
    void setWindow(std::weak_ptr<Gtk::Window> window);
    // The appearance name (platform::Appearance::kVibrantLight / kVibrantDark) alerts take.
    void setAppearance(std::string appearanceName);
    const std::string& appearance() const { return appearance_; }

    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    void showAlert(const std::string& title, const std::string& message, std::vector<AlertButton> buttons, Style style);

protected:
    WQAlertCenter();

private:
    std::weak_ptr<Gtk::Window> window_;
    std::string appearance_;
};

}  // namespace parlivo
