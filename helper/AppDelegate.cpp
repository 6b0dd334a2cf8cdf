#include "AppDelegate.h"

#include <string>
#include <utility>

#include "foundation/DistributedNotificationCenter.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/ProcessInfo.h"
#include "system/LoginItems.h"
#include "system/Workspace.h"

namespace launchhelper {

using platform::systemLog;

AppDelegate::AppDelegate(std::filesystem::path mainProgram, Terminate terminate)
    : mainProgram_(std::move(mainProgram)), terminate_(std::move(terminate)) {}

AppDelegate::~AppDelegate() {
    *alive_ = false;
    if (timer_) timer_->invalidate();
}

std::filesystem::path AppDelegate::mainProgramPath() {
    const std::filesystem::path self = platform::ProcessInfo::executablePath();
    if (self.empty()) return {};
    return (self.parent_path() / ".." / ".." / "bin" / "parlivo-for-whatsapp").lexically_normal();
}

void AppDelegate::applicationDidFinishLaunching() {
    const bool mainAppRunning = platform::Workspace::isRunning(kMainBundleIdentifier);

    // Both observers are in place before anything is posted or launched, so no answer is missed.
    auto& center = platform::DistributedNotificationCenter::defaultCenter();
    pongObserver_ = center.addObserver(kPongNotification, [this](const std::string&, const std::string& object) {
        if (object == kMainBundleIdentifier) pong();
    });
    terminateObserver_ =
        center.addObserver(kTerminateNotification, [this](const std::string&, const std::string& object) {
            if (object == kMainBundleIdentifier) killApp();
        });

    if (mainAppRunning) {
        center.post(kPingNotification, "");
        const double wait = kPongTimeout * platform::ProcessInfo::testTimeScale();
        timer_ = platform::Timer::scheduled(wait, false, [this](platform::Timer&) {
            systemLog("Timeout waiting for Main App Pong -> Launch Main App");
            launchMainAppAndTerminate();
        });
    } else {
        launchMainAppAndTerminate();
    }
}

void AppDelegate::launchMainAppAndTerminate() {
    systemLog("Launching: " + mainProgram_.string());
    // The main program is a single instance: when it already runs (it did not answer the ping
    // in time), this start reaches the running one and ends, so no second copy appears.
    if (auto launched = platform::Workspace::launchApplication(
            mainProgram_, {std::string(platform::LoginItems::kLaunchedAtLoginArgument)});
        !launched) {
        // Nothing will answer a failed start, so there is nothing to wait for.
        systemLog("Could not launch Main App: " + launched.error().message, platform::LogLevel::warning);
        terminate(1);
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    platform::MainQueue::after(kQuitDelay * platform::ProcessInfo::testTimeScale(), [this, alive] {
        if (alive.expired()) return;
        systemLog("Timeout waiting for Main App -> Quit");
        terminate(0);
    });
}

void AppDelegate::pong() {
    systemLog("Pong: Main App is already awake -> Quit");
    if (timer_) timer_->invalidate();
    terminate(0);
}

void AppDelegate::killApp() {
    systemLog("Received kill signal from Main App");
    if (timer_) timer_->invalidate();
    terminate(0);
}

void AppDelegate::terminate(int exitStatus) {
    // A pong and a terminate request may both arrive before the loop stops: quit once.
    if (terminated_) return;
    terminated_ = true;
    if (terminate_) terminate_(exitStatus);
}

}  // namespace launchhelper
