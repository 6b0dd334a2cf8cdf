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

    // Removes every kind of website data of every site, however old. `completion` runs once on the
    // main loop, with false when WebKit reported a failure.
    void removeAllWebsiteData(std::function<void(bool succeeded)> completion);

    WebKitWebContext* gobj() const { return context_; }

private:
    explicit WebContext(Configuration configuration);
    static std::optional<Configuration>& pendingConfiguration();

    Configuration configuration_;
    WebKitWebContext* context_ = nullptr;
};

}  // namespace platform
