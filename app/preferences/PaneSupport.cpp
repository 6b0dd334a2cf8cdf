#include "preferences/PaneSupport.h"

#include <glib.h>

#include "settings/Trellik.h"

namespace parlivo {

// The settings model holds its settings delegate strongly; the pane belongs to its window. The
// model gets this small forwarder, which the pane cuts off when it goes.
class PaneSupport::Forwarder : public TrellikSettingsDelegate {
public:
    explicit Forwarder(std::function<void()> target) : target_(std::move(target)) {}
    void settingsDidChange() override {
        if (target_) target_();
    }
    void cutOff() { target_ = nullptr; }

private:
    std::function<void()> target_;
};

PaneSupport::PaneSupport(Trellik& trellik, const char* resourcePath, std::function<void()> settingsDidChange)
    : trellik_(trellik), forwarder_(std::make_shared<Forwarder>(std::move(settingsDidChange))) {
    try {
        builder_ = Gtk::Builder::create_from_resource(resourcePath);
    } catch (const Glib::Error& error) {
        g_error("Could not load the preference pane %s: %s", resourcePath, error.what().c_str());
    }
}

PaneSupport::~PaneSupport() {
    resignSettingsDelegate();
    forwarder_->cutOff();
}

void PaneSupport::missingOutlet(const char* name) {
    g_error("A preference pane's interface file lacks the outlet \"%s\"", name);
}

void PaneSupport::fillBlocked(const std::function<void()>& fill) {
    // A fill may set off another (a control's model tells the pane): only the outermost blocks
    // and unblocks, as a connection's block is on or off, not counted.
    if (filling_++ == 0)
        for (auto& handler : handlers_) handler.block();
    fill();
    if (--filling_ == 0)
        for (auto& handler : handlers_) handler.unblock();
}

void PaneSupport::becomeSettingsDelegate() { trellik_.setSettingsDelegate(forwarder_); }

void PaneSupport::resignSettingsDelegate() {
    if (trellik_.settingsDelegate() == forwarder_) trellik_.setSettingsDelegate(nullptr);
}

}  // namespace parlivo
