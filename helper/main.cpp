// LaunchHelper: the login item that starts the main program unless it already runs, then quits.
#include <glib.h>

#include "AppDelegate.h"
#include "foundation/MainQueue.h"
#include "foundation/ProcessInfo.h"
#include "system/Workspace.h"

int main(int argc, char** argv) {
    platform::ProcessInfo::saveArguments(argc, argv);
    // Known on the bus under our identifier before anything else happens, so the main program
    // finds us (and tells us to quit) however early it looks.
    platform::Workspace::registerRunningApplication(launchhelper::AppDelegate::kHelperBundleIdentifier);

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    int exitStatus = 0;
    {
        launchhelper::AppDelegate delegate(launchhelper::AppDelegate::mainProgramPath(), [&](int status) {
            exitStatus = status;
            g_main_loop_quit(loop);
        });
        // Started from inside the loop, so a quit during the start is not lost.
        platform::MainQueue::async([&delegate] { delegate.applicationDidFinishLaunching(); });
        g_main_loop_run(loop);
    }
    g_main_loop_unref(loop);
    return exitStatus;
}
