#include "system/VendorServices.h"

#include <utility>

#include "foundation/Log.h"

namespace platform {

VendorServices& VendorServices::shared() {
    // Never destroyed: the application delegate's destructor, which may run at exit, reaches it.
    static VendorServices* instance = new VendorServices;
    return *instance;
}

void VendorServices::record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void VendorServices::sendTrackingReport() {
    record("sendTrackingReport");
    systemLog("Vendor services: tracking report not sent (no such service on this system)", LogLevel::debug);
}

void VendorServices::setupIssuesController(bool reportingUnhandledIssues) {
    record(reportingUnhandledIssues ? "setupIssuesController(reporting)" : "setupIssuesController");
    systemLog("Vendor services: no issue reporter installed", LogLevel::debug);
}

void VendorServices::moveToApplicationsFolderIfNecessary() {
    bool first;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back("moveToApplicationsFolderIfNecessary");
        first = !std::exchange(moveOfferLogged_, true);
    }
    if (first) systemLog("Vendor services: programs are not moved on this system; nothing to offer", LogLevel::debug);
}

void VendorServices::setUpdaterDelegate(UpdaterDelegate* delegate) {
    record("setUpdaterDelegate");
    std::lock_guard lock(mutex_);
    updaterDelegate_ = delegate;
}

UpdaterDelegate* VendorServices::updaterDelegate() const {
    std::lock_guard lock(mutex_);
    return updaterDelegate_;
}

void VendorServices::setAutomaticallyChecksForUpdates(bool on) {
    record(on ? "setAutomaticallyChecksForUpdates(true)" : "setAutomaticallyChecksForUpdates(false)");
    std::lock_guard lock(mutex_);
    automaticChecks_ = on;
}

bool VendorServices::automaticallyChecksForUpdates() const {
    std::lock_guard lock(mutex_);
    return automaticChecks_;
}

std::string VendorServices::updatesComeFromPackageManagerText() {
    return "Updates for this program come with your system's package manager.";
}

void VendorServices::setUpdateCheckPresenter(std::function<void(const std::string&)> presenter) {
    std::lock_guard lock(mutex_);
    presenter_ = std::move(presenter);
}

void VendorServices::checkForUpdates() {
    record("checkForUpdates");
    std::function<void(const std::string&)> presenter;
    {
        std::lock_guard lock(mutex_);
        presenter = presenter_;
    }
    const std::string text = updatesComeFromPackageManagerText();
    systemLog("Vendor services: update check answered locally: " + text, LogLevel::info);
    if (presenter) presenter(text);
}

std::vector<std::string> VendorServices::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void VendorServices::resetRecordedCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

}  // namespace platform
