// Where the web view may go, what opens outside, what becomes a download, which load failures
// count, and the names a download may be saved under.
#include <gtest/gtest.h>

#include "foundation/URL.h"
#include "web/NavigationPolicy.h"
#include "web/WebView.h"

using namespace parlivo::navigation;

TEST(NavigationPolicyTest, DecisionsFollowScemeTargetAndExtension) {
    struct Case {
        std::optional<std::string> url;
        bool newWindow;
        Decision expected;
    } cases[] = {
        {std::nullopt, false, Decision::allow},
        {"https://web.example.org/", false, Decision::allow},
        {"https://web.example.org/chat", false, Decision::allow},
        // Blobs by scheme, in the same frame or a new window; the letters elsewhere mean nothing.
        {"blob:https://web.example.org/4b0c-11", false, Decision::downloadBlob},
        {"BLOB:https://web.example.org/4b0c-11", true, Decision::downloadBlob},
        {"https://web.example.org/blobs/list", false, Decision::allow},
        {"https://web.example.org/?q=blob", true, Decision::openInBrowser},
        // New windows open outside, and only what a browser or mail program should handle.
        {"https://other.example.org/file.zip", true, Decision::openInBrowser},
        {"mailto:someone@example.org", true, Decision::openInBrowser},
        {"file:///etc/passwd", true, Decision::cancel},
        {"javascript:alert(1)", true, Decision::cancel},
        {"ftp://files.example.org/a", true, Decision::cancel},
        // Same frame: a path extension of two or more characters is a file, except "app".
        {"https://web.example.org/report.pdf", false, Decision::downloadFile},
        {"https://web.example.org/page.html", false, Decision::downloadFile},
        {"https://web.example.org/a.zip?x=1#y", false, Decision::downloadFile},
        {"https://web.example.org/Parlivo.app", false, Decision::allow},
        {"https://web.example.org/Parlivo.APP", false, Decision::downloadFile},
        {"https://web.example.org/archive.z", false, Decision::allow},
        {"https://web.example.org/dir.d/", false, Decision::allow},
        {"https://web.example.org/.hidden", false, Decision::allow},
        {"file:///usr/share/parlivo-for-whatsapp/", false, Decision::allow},
        // A folder whose name holds a dot (the error page's base): no file extension.
        {"file:///tmp/parlivo-resources.UtBkwi/", false, Decision::allow},
        {"https://web.example.org/files.zip/", false, Decision::allow},
        // In the frame itself: a mail address goes to the mail program (its ".org" is no file
        // extension); schemes the web view cannot load are refused, not left to fail.
        {"mailto:someone@example.org", false, Decision::openInBrowser},
        {"MAILTO:someone@example.org?subject=a.pdf", false, Decision::openInBrowser},
        {"tel:+15550100", false, Decision::cancel},
        {"ftp://files.example.org/a", false, Decision::cancel},
        {"whatsapp://send?text=x.zip", false, Decision::cancel},
        {"about:blank", false, Decision::allow},
        {"about:srcdoc", false, Decision::allow},
        {"data:text/html,<p>x</p>", false, Decision::allow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.value_or("<none>") + (c.newWindow ? " new window" : ""));
        EXPECT_EQ(decide(c.url, c.newWindow).decision, c.expected);
    }
}

TEST(NavigationPolicyTest, OriginsAndExternalSchemes) {
    EXPECT_TRUE(isOpenableExternally("HTTPS://Example.org/"));
    EXPECT_TRUE(isOpenableExternally("mailto:a@b.c"));
    for (const char* refused : {"file:///tmp/x", "javascript:1", "data:text/html,x", "https:/no-host", "tel:123", ""})
        EXPECT_FALSE(isOpenableExternally(refused)) << refused;

    EXPECT_TRUE(hasSameOrigin("https://web.example.org/a/b?c", "https://web.example.org/"));
    EXPECT_TRUE(hasSameOrigin("https://WEB.example.org:443/", "https://web.example.org/"));
    EXPECT_FALSE(hasSameOrigin("http://web.example.org/", "https://web.example.org/"));
    EXPECT_FALSE(hasSameOrigin("https://web.example.org:8443/", "https://web.example.org/"));
    EXPECT_FALSE(hasSameOrigin("https://web.example.org.evil.com/", "https://web.example.org/"));
    EXPECT_FALSE(hasSameOrigin("file:///x", "file:///y"));

    const auto url = platform::URL::parse("https://Example.org:8080/a/b%20c.tar.gz/");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->origin(), "https://example.org:8080");
    EXPECT_EQ(url->lastPathComponent(), "b c.tar.gz");
    EXPECT_EQ(url->pathExtension(), "gz");
    EXPECT_FALSE(platform::URL::parse("relative/path"));
    EXPECT_FALSE(platform::URL::parse(std::string("https://a.example/\0x", 20)));
}

TEST(NavigationPolicyTest, OnlyCancellationsAreNoFailure) {
    EXPECT_TRUE(isIgnorableLoadFailure({platform::WebKitNetworkErrorDomain, 302, "Load request cancelled"}));
    EXPECT_TRUE(isIgnorableLoadFailure({platform::WebKitPolicyErrorDomain, 102, "Frame load was interrupted"}));
    EXPECT_FALSE(isIgnorableLoadFailure({platform::WebKitNetworkErrorDomain, 399, "Transport error"}));
    EXPECT_FALSE(isIgnorableLoadFailure({platform::URLErrorDomain, platform::URLErrorCode::timedOut, "timed out"}));
    EXPECT_FALSE(isIgnorableLoadFailure({"g-tls-error-quark", 3, "Unacceptable TLS certificate"}));
}

TEST(NavigationPolicyTest, DownloadNamesArePlainBaseNames) {
    const std::pair<std::string, std::string> cases[] = {
        {"report.pdf", "report.pdf"},
        {"../../.bashrc", "bashrc"},
        {"/etc/passwd", "passwd"},
        {"C:\\Users\\x\\evil.exe", "evil.exe"},
        {"dir/", "download"},
        {"..", "download"},
        {"", "download"},
        {"line\nbreak\x7f.txt", "linebreak.txt"},
        {"  spaced name.txt  ", "spaced name.txt"},
        {"caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
        {"bad\xff.txt", "bad\xef\xbf\xbd.txt"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(plainBaseName(name), expected) << name;
    EXPECT_EQ(plainBaseName(std::string(400, 'a') + ".txt").size(), 255u);
    EXPECT_EQ(plainBaseName("/", ""), "");
}
