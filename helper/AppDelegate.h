#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "foundation/ObserverToken.h"
#include "foundation/Timer.h"

namespace launchhelper {

// The login item's whole life: start the main program unless it already runs and answers,
// then quit. Runs on the main loop; `terminate` ends the program with an exit status.
class AppDelegate {
public:
    static constexpr const char* kMainBundleIdentifier = "net.vantreo.mac.WhatsApp";
    static constexpr const char* kHelperBundleIdentifier = "net.vantreo.mac.WhatsApp-Helper";
    static constexpr const char* kPingNotification = "WQLaunchAtLoginManager.ping";
    static constexpr const char* kPongNotification = "WQLaunchAtLoginManager.pong";
    static constexpr const char* kTerminateNotification = "WQLaunchAtLoginManager.terminateHelperApp";
    // Its waits for the main program, in seconds. A development build's test run lengthens them
    // by its time scale (platform::ProcessInfo::testTimeScale): a busy machine or an instrumented
    // build starts the main program that much slower.
    static constexpr double kPongTimeout = 2.0;
    static constexpr double kQuitDelay = 5.0;

    using Terminate = std::function<void(int exitStatus)>;

    // `mainProgram` is the program to start; see mainProgramPath().
    AppDelegate(std::filesystem::path mainProgram, Terminate terminate);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The main program installed beside this one: <our folder>/../../bin/parlivo-for-whatsapp
    // (libexec/parlivo-for-whatsapp/LaunchHelper and bin/parlivo-for-whatsapp share a prefix).
    static std::filesystem::path mainProgramPath();

    void applicationDidFinishLaunching();
    void launchMainAppAndTerminate();
    void pong();
    void killApp();

private:
    void terminate(int exitStatus);

    std::filesystem::path mainProgram_;
    Terminate terminate_;
    std::shared_ptr<platform::Timer> timer_;
    platform::ObserverToken pongObserver_;
    platform::ObserverToken terminateObserver_;
    bool terminated_ = false;
    // Guards the delayed quit, which may fire after this object is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace launchhelper
