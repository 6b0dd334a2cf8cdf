#include "config/DynamicDataErrorViewController.h"

#include <gtkmm/label.h>

// Placeholder until the connection-error screen is built.
namespace parlivo {

namespace {
class Placeholder : public DynamicDataErrorViewController {
public:
    Gtk::Widget& view() override { return label_; }
    void setTryAgainAction(std::function<void()> action) override { action_ = std::move(action); }
    void updateErrorTexts() override { label_.set_text(headerText()); }

private:
    Gtk::Label label_;
    std::function<void()> action_;
};
}  // namespace

std::shared_ptr<DynamicDataErrorViewController> DynamicDataErrorViewController::create() {
    return std::make_shared<Placeholder>();
}

std::string DynamicDataErrorViewController::headerText() { return "DYNAMIC_DATA_ERROR_HEADER"; }
std::string DynamicDataErrorViewController::bodyText(const std::optional<platform::Error>&) {
    return "DYNAMIC_DATA_ERROR_DEFAULT_BODY";
}

}  // namespace parlivo
