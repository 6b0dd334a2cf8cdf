#include "web/WQAlertCenter.h"

// Placeholder until the page alert centre is built.
namespace parlivo {

WQAlertCenter& WQAlertCenter::shared() {
    struct Made : WQAlertCenter {};
    static auto* instance = new Made();
    return *instance;
}

WQAlertCenter::WQAlertCenter() = default;
void WQAlertCenter::setWindow(std::weak_ptr<Gtk::Window> window) { window_ = std::move(window); }
void WQAlertCenter::setAppearance(std::string appearanceName) { appearance_ = std::move(appearanceName); }
void WQAlertCenter::didReceiveScriptMessage(const platform::ScriptMessage&) {}
void WQAlertCenter::showAlert(const std::string&, const std::string&, std::vector<AlertButton>, Style) {}

}  // namespace parlivo
