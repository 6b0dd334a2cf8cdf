#include "media/WQMediaTouchBar.h"

#include "WQApplicationInfo.h"
#include "media/WQMediaType.h"

namespace parlivo {
namespace {

constexpr platform::TouchBarColor kRed{1, 0, 0, 1};

}  // namespace

TouchBarSegmentedItem::TouchBarSegmentedItem(std::string identifier, std::vector<std::string> segmentImages,
                                             Action action)
    : platform::TouchBarItem(std::move(identifier)), images_(std::move(segmentImages)), action_(std::move(action)) {}

void TouchBarSegmentedItem::setSelectedSegment(int segment) {
    selected_ = segment >= 0 && segment < int(images_.size()) ? segment : -1;
}

bool TouchBarSegmentedItem::tapSegment(int segment) {
    if (!enabled_ || segment < 0 || segment >= int(images_.size())) return false;
    selected_ = segment;
    auto action = action_;  // the action may drop the bar that holds this item
    if (action) action(*this);
    return true;
}

const WQMediaTouchBar::Identifiers& WQMediaTouchBar::identifiers() {
    static const Identifiers ids = [] {
        const std::string bar = tovak::WQApplicationInfo::bundleIdentifier() + ".mediaViewControllerTouchBar";
        return Identifiers{bar, bar + ".back", bar + ".takePhoto", bar + ".recording", bar + ".type"};
    }();
    return ids;
}

WQMediaTouchBar::~WQMediaTouchBar() {
    if (auto& bar = currentTouchBar(); bar && bar->delegate() == this) bar->setDelegate(nullptr);
}

std::shared_ptr<platform::TouchBar> WQMediaTouchBar::makeTouchBar() {
    const Identifiers& id = identifiers();
    auto bar = std::make_shared<platform::TouchBar>();
    bar->setDelegate(this);
    bar->setCustomizationIdentifier(id.touchBar);
    const std::string space(platform::touchbar::kFlexibleSpace);
    const std::string& middle = storedMediaType() == WQMediaType::photo ? id.takePhoto : id.recording;
    bar->setDefaultItemIdentifiers({id.back, space, middle, space, id.type});
    return bar;
}

std::shared_ptr<platform::CustomTouchBarItem> WQMediaTouchBar::button(const std::string& identifier,
                                                                      std::string image) {
    // The bar (and with it the button) belongs to this object, so the action may reach it.
    auto view = std::make_shared<platform::TouchBarButton>(
        "", std::move(image), [this](platform::TouchBarButton& sender) { touchBarButtonClicked(&sender); });
    view->setIdentifier(identifier);
    auto item = std::make_shared<platform::CustomTouchBarItem>(identifier);
    item->setView(view);
    return item;
}

std::shared_ptr<platform::TouchBarItem> WQMediaTouchBar::makeItemForIdentifier(platform::TouchBar&,
                                                                              const std::string& identifier) {
    const Identifiers& id = identifiers();
    if (identifier == id.back) {
        auto item = button(identifier, "NSImageNameTouchBarGoBackTemplate");
        item->view()->setEnabled(!recording());
        return item;
    }
    if (identifier == id.takePhoto) {
        auto item = button(identifier, std::string(cameraImage));
        item->view()->setImageIsTemplate(true);
        item->view()->setBezelColor(kRed);
        return item;
    }
    if (identifier == id.recording) {
        auto item = button(identifier, recording() ? "NSImageNameTouchBarRecordStopTemplate"
                                                   : "NSImageNameTouchBarRecordStartTemplate");
        item->view()->setBezelColor(kRed);
        return item;
    }
    if (identifier == id.type) {
        auto item = std::make_shared<TouchBarSegmentedItem>(
            identifier,
            std::vector<std::string>{"NSImageNameTouchBarCommunicationVideoTemplate", std::string(cameraImage)},
            [this](TouchBarSegmentedItem& sender) { touchBarSelectionChanged(sender.selectedSegment()); });
        item->setSelectedSegment(int(storedMediaType()));
        item->setEnabled(!recording());
        return item;
    }
    return nullptr;
}

void WQMediaTouchBar::touchBarButtonClicked(platform::TouchBarButton* sender) {
    if (!sender || !sender->identifier() || !host_) return;
    const Identifiers& id = identifiers();
    const std::string& pressed = *sender->identifier();
    if (pressed == id.back) {
        host_->backAction();
    } else if (pressed == id.takePhoto || pressed == id.recording) {
        // Either button: the stored mode decides what the record action does.
        host_->recordAction();
    }
}

void WQMediaTouchBar::touchBarSelectionChanged(int selectedSegment) {
    if (selectedSegment != 0 && selectedSegment != 1) return;
    storeMediaType(selectedSegment == 1 ? WQMediaType::photo : WQMediaType::video);
    if (host_) host_->applyMediaType();
}

}  // namespace parlivo
