#pragma once
// Placeholder: the HTML notification panel's shape; showing panels comes later.

#include <memory>
#include <string_view>

#include "web/ScriptMessage.h"

namespace Gtk {
class Overlay;
}

namespace parlivo {

// Lays a panel written in HTML by the page ("WQNotificationHandler") over the web container and
// answers the page with the panel's reply. Main thread only.
class WQNotificationCenter : public platform::ScriptMessageHandler {
public:
    static constexpr std::string_view kClassName = "WQNotificationCenter";
    static constexpr std::string_view messageName = "WQNotificationHandler";

    // The container the panel covers; the main view controller sets it when its view appears.
    void setParentView(std::weak_ptr<Gtk::Overlay> parentView) { parentView_ = std::move(parentView); }
    // True while a panel is shown: the web view then shows no tooltips.
    bool isDisplayingNotification() const { return isDisplayingNotification_; }

    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    void removeNotificationPanel();

private:
    std::weak_ptr<Gtk::Overlay> parentView_;
    bool isDisplayingNotification_ = false;
};

}  // namespace parlivo
