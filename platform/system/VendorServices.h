#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Asked by the updater; the application delegate answers.
class UpdaterDelegate {
public:
    virtual ~UpdaterDelegate() = default;
    virtual bool isUpdaterInTestMode() = 0;
    virtual bool updaterShouldCheckForBetaUpdates() = 0;
};

// The maker's update, tracking-report and issue-reporting services and the offer to move the
// program into an applications folder have no Linux counterpart: a packaged program is updated
// by the system's package manager and lives where the package put it. These stand-ins keep the
// calls the program makes, log them, and send nothing anywhere. Each call is recorded by name
// (in order) so tests can check when and how often the program made it.
class VendorServices {
public:
    static VendorServices& shared();

    // Tracking report (nothing is sent).
    void sendTrackingReport();
    // Issue reporter: nothing is installed; unhandled issues stay with the system's crash handling.
    void setupIssuesController(bool reportingUnhandledIssues);
    // Move-to-applications offer: nothing to do on Linux; logged once per process.
    void moveToApplicationsFolderIfNecessary();

    // The updater.
    void setUpdaterDelegate(UpdaterDelegate* delegate);
    UpdaterDelegate* updaterDelegate() const;
    void setAutomaticallyChecksForUpdates(bool on);
    bool automaticallyChecksForUpdates() const;
    // Seconds between automatic checks (a day, as the maker's updater uses by default).
    double updateCheckInterval() const { return 86400.0; }
    // A user's explicit check: answers through `updateCheckPresenter` with the text that
    // updates come from the package manager (logged when no presenter is set).
    void checkForUpdates();
    // The text a user sees for an explicit update check.
    static std::string updatesComeFromPackageManagerText();
    void setUpdateCheckPresenter(std::function<void(const std::string&)> presenter);

    // Every call made so far, by name ("sendTrackingReport", "setUpdaterDelegate", ...).
    std::vector<std::string> calls() const;
    void resetRecordedCalls();

private:
    VendorServices() = default;
    void record(std::string call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    UpdaterDelegate* updaterDelegate_ = nullptr;
    bool automaticChecks_ = false;
    bool moveOfferLogged_ = false;
    std::function<void(const std::string&)> presenter_;
};

}  // namespace platform
