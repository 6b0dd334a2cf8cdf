#include "preferences/PaneSupport.h"

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

PaneSupport::PaneSupport(Trellik& trellik, std::string_view interfaceName, std::function<void()> settingsDidChange)
    : trellik_(trellik),
      file_(InterfaceFile::load(interfaceName)),
      forwarder_(std::make_shared<Forwarder>(std::move(settingsDidChange))) {}

PaneSupport::~PaneSupport() {
    resignSettingsDelegate();
    forwarder_->cutOff();
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

bool PaneSupport::readSetting(std::string_view key, bool (Trellik::*read)() const) const {
    return read ? (trellik_.*read)() : trellik_.boolSetting(key);
}

void PaneSupport::storeSetting(std::string_view key, void (Trellik::*store)(bool), bool value) {
    if (store)
        (trellik_.*store)(value);
    else
        trellik_.setBoolSetting(key, value);
}

void PaneSupport::becomeSettingsDelegate() { trellik_.setSettingsDelegate(forwarder_); }

void PaneSupport::resignSettingsDelegate() {
    if (trellik_.settingsDelegate() == forwarder_) trellik_.setSettingsDelegate(nullptr);
}

}  // namespace parlivo
