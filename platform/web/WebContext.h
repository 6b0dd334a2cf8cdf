#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

typedef struct _WebKitWebContext WebKitWebContext;

namespace platform {

// The one web context of the program: every web view shares its web processes and its persistent
// website data (cookies, local storage, IndexedDB, caches). Main thread only; made on first use,
// never destroyed.
class WebContext {
public:
    struct Configuration {
        // Website data (cookies in "cookies.sqlite", storage, databases); created when missing.
        std::filesystem::path dataDirectory;
        // Disk caches; created when missing.
        std::filesystem::path cacheDirectory;
    };

    // Sets where the data lives. Only before the context exists (the first web view makes it);
    // false and logged afterwards. Without it the folders are
    // $XDG_DATA_HOME/<bundle identifier>/WebsiteData and $XDG_CACHE_HOME/<bundle identifier>/WebKit.
    static bool configure(Configuration configuration);
    static WebContext& shared();

    const Configuration& configuration() const { return configuration_; }

    // Trusts exactly the certificate in the PEM file `certificateFile` for connections to `host`
    // (a host name or address, any port), beside the system's trust store. Nothing else about
    // certificate checking changes. False when the file holds no certificate.
    bool allowTLSCertificateForHost(const std::filesystem::path& certificateFile, const std::string& host);

    // WebKit's network process (loading, cookies, TLS for every page) may end on its own (a crash,
    // a kill); WebKit starts a new one for the next request, but what the program told the old one
    // (the certificates allowed above) is lost and a page that lived through it is left with
    // failing requests. `ended` runs on the main loop when the process watched ends; the watch
    // then stops. Setting a handler replaces the last one.
    void setNetworkProcessEndedHandler(std::function<void()> ended);
    // Watches the network process WebKit runs now (it starts one with the first load), unless one
    // is watched already. False when there is none to watch.
    bool watchNetworkProcess();
    // The process watched; 0 when none.
    int watchedNetworkProcess() const { return networkProcess_; }
    // The running network process of this program, found among its child processes; 0 when there
    // is none.
    static int findNetworkProcess();

    // Removes every kind of website data of every site, however old. `completion` runs once on the
    // main loop, with false when WebKit reported a failure.
    void removeAllWebsiteData(std::function<void(bool succeeded)> completion);

    WebKitWebContext* gobj() const { return context_; }

private:
    explicit WebContext(Configuration configuration);
    static std::optional<Configuration>& pendingConfiguration();

    void networkProcessEnded();

    Configuration configuration_;
    WebKitWebContext* context_ = nullptr;
    std::function<void()> networkProcessEndedHandler_;
    int networkProcess_ = 0;
    int networkProcessDescriptor_ = -1;  // a pidfd: readable once the process has ended
    unsigned networkProcessSource_ = 0;
};

}  // namespace platform
