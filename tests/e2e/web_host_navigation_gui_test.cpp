// Navigation and downloads end to end: what the web view follows, what goes to the desktop's
// browser, what becomes a page-side blob download, and what becomes a file saved through the real
// save panel (driven through the accessibility bus: the file name typed, Save or Cancel pressed).
#include <fstream>

#include "WebHostRun.h"
#include "DesktopSession.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// How often the server was asked for `path`.
int requestsFor(const StandinServer& server, const std::string& path) {
    const std::string log = server.log(), line = "GET " + path + " ";
    int count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
    return count;
}

bool isSavePanel(const Accessibility::Element& e) { return e.showing && e.name == "Save File" && e.window == e.name; }

}  // namespace

// Same-frame navigations by the page's scripts and new windows by the user's clicks.
TEST(WebHostNavigation, EachNavigationGoesWhereThePolicySays) {
    WebHostRun run;
    run.home.recordOpenedURLs({"http", "https", "mailto", "tel", "file"});
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    auto& a11y = run.accessibility();

    // A blob: the page is asked to hand it over; it stays where it is.
    size_t from = server.mark();
    const std::string blob = run.eval("Standin.blobURL('blob text')").stringOr();
    ASSERT_EQ(blob.rfind("blob:", 0), 0u) << blob;
    run.eval("location.href = " + js(blob) + "; 1");
    auto handOver = server.waitForCall("wqDownloadBlob", 30, from);
    ASSERT_TRUE(handOver) << run.program->output();
    EXPECT_EQ(handOver->args(), list({blob}));

    // File extensions in the same frame: a save panel, upper-case "APP" included; cancelled, the
    // file is never fetched and the page stays.
    for (const char* path : {"/download.txt", "/bundle.APP"}) {
        SCOPED_TRACE(path);
        from = server.mark();
        run.eval("location.href = " + js(path) + "; 1");
        ASSERT_TRUE(a11y.waitFor(isSavePanel)) << a11y.describe();
        ASSERT_TRUE(a11y.press("Cancel", "Save File")) << a11y.describe();
        EXPECT_TRUE(a11y.waitUntilGone(isSavePanel));
        run.roundTrip();
        EXPECT_EQ(requestsFor(server, path), 0);
        EXPECT_FALSE(server.waitForReady(0, from)) << "the page was left";
    }

    // New windows, from a user's click: web addresses go to the browser (a file link too: it is
    // not downloaded), a blob is handed over by the page, other schemes go nowhere.
    struct NewWindow {
        std::string href;
        const char* outcome;  // "browser", "blob", "nothing"
    };
    const NewWindow windows[] = {
        {"https://example.org/new?x=1", "browser"},
        {"https://example.org/files/archive.zip", "browser"},
        {"tel:+15550100", "nothing"},
        {"file:///etc/passwd", "nothing"},
        {"blob", "blob"},
        {"mailto:ann@example.org", "browser"},
    };
    size_t expectedOpened = 0;
    for (const auto& w : windows) {
        SCOPED_TRACE(w.href);
        from = server.mark();
        const std::string href = w.href == "blob" ? run.eval("Standin.blobURL('new window blob')").stringOr() : w.href;
        const std::string shown = run.eval("Standin.link(" + js(href) + ", '_blank')").stringOr();
        ASSERT_TRUE(run.clickPage());
        ASSERT_TRUE(server.waitFor([](const PageRecord& r) { return r.type == "clicked"; }, 30, from));
        run.roundTrip();
        if (std::string(w.outcome) == "blob") {
            auto blobCall = server.waitForCall("wqDownloadBlob", 30, from);
            ASSERT_TRUE(blobCall);
            EXPECT_EQ(blobCall->args(), list({shown}));
        } else {
            EXPECT_TRUE(run.calls("wqDownloadBlob", from).empty());
        }
        if (std::string(w.outcome) == "browser") ++expectedOpened;
        // The next URL opened, if any, comes after this click: a later one shows this one's count.
        EXPECT_FALSE(a11y.waitFor(isSavePanel, 0)) << "a new window became a download";
    }
    // A final opened URL marks that everything before it has been handed over.
    from = server.mark();
    run.eval("Standin.link('https://example.org/last', '_blank')");
    ASSERT_TRUE(run.clickPage());
    auto opened = run.home.waitForOpenedURLs(expectedOpened + 1);
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/new?x=1", "https://example.org/files/archive.zip",
                                                "mailto:ann@example.org", "https://example.org/last"}));

    // The letters "blob" in an ordinary address, no extension, a one-letter one and "app": the
    // web view follows them.
    // These navigations leave the page, so its record of the script may never be sent: nothing
    // waits for it.
    from = server.mark();
    server.eval("location.href = " + js(server.pageURL("q=blob")));
    auto followed = server.waitForReady(60, from);
    ASSERT_TRUE(followed);
    EXPECT_EQ(followed->value["url"].stringOr(), server.pageURL("q=blob"));
    EXPECT_TRUE(run.startedUp(from));
    EXPECT_TRUE(run.calls("wqDownloadBlob", from).empty());
    for (const char* path : {"/archive.z", "/program.app"}) {
        SCOPED_TRACE(path);
        from = server.mark();
        const int before = requestsFor(server, path);
        server.eval("location.href = " + js(path));
        // The server's answer (a 404 page) is shown: back to the web client with Reload.
        EXPECT_TRUE(run.program->waitForOutput(std::string("PATH EXTENSION: ") + fs::path(path).extension().string().substr(1) + " "));
        // The policy let it through; Reload only once the server has answered, or it would cancel
        // the request on its way.
        ASSERT_TRUE(eventually([&] { return requestsFor(server, path) == before + 1; })) << server.log();
        ASSERT_TRUE(run.pressKeys("ctrl+r"));
        ASSERT_TRUE(run.startedUp(from));
        EXPECT_EQ(requestsFor(server, path), before + 1);
        EXPECT_FALSE(a11y.waitFor(isSavePanel, 0));
    }
    EXPECT_EQ(run.stop(), 0);
}

// Downloads: a linked file and a file the page hands over are saved where the user says, with a
// safe name; a download the user cancels fetches nothing; one that fails is told, not saved.
TEST(WebHostNavigation, DownloadsAreSavedOnlyWhenComplete) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    auto& a11y = run.accessibility();
    const fs::path folder = run.home.root() / "Downloads";
    fs::create_directories(folder);

    // A link to a file.
    run.eval("location.href = '/download.txt'; 1");
    ASSERT_TRUE(a11y.waitFor(isSavePanel)) << a11y.describe();
    ASSERT_TRUE(a11y.setText("Save File", (folder / "linked.txt").string())) << a11y.describe();
    ASSERT_TRUE(a11y.press("Save", "Save File"));
    ASSERT_TRUE(run.program->waitForOutput("##### Saved download to: " + (folder / "linked.txt").string(), 60))
        << run.program->output();
    EXPECT_EQ(fileText(folder / "linked.txt"), fileText(fs::path(PARLIVO_FIXTURES_DIR) / "standin/page/download.txt"));

    // The page hands a file over: the panel offers its name without folders.
    server.post("eventHandler", dictionary({{"action", "download"},
                                            {"download", "data:text/plain;base64,aGVsbG8gZnJvbSB0aGUgcGFnZQ=="},
                                            {"mimeType", "text/plain"},
                                            {"fileName", "../../etc/notes\n.txt"}}));
    auto panel = a11y.waitFor(isSavePanel);
    ASSERT_TRUE(panel) << a11y.describe();
    auto name = a11y.waitFor([](const Accessibility::Element& e) { return e.showing && e.role == "text" && e.window == "Save File"; });
    ASSERT_TRUE(name);
    EXPECT_EQ(name->text, "notes.txt");
    ASSERT_TRUE(a11y.setText("Save File", (folder / "handed.txt").string()));
    ASSERT_TRUE(a11y.press("Save", "Save File"));
    ASSERT_TRUE(run.program->waitForOutput("##### Saved download to: " + (folder / "handed.txt").string(), 60));
    EXPECT_EQ(fileText(folder / "handed.txt"), "hello from the page");

    // Cancelled: nothing is fetched, nothing written.
    run.eval("location.href = '/standin-script.js'; 1");
    ASSERT_TRUE(a11y.waitFor(isSavePanel));
    ASSERT_TRUE(a11y.setText("Save File", (folder / "cancelled.js").string()));
    ASSERT_TRUE(a11y.press("Cancel", "Save File"));
    EXPECT_TRUE(a11y.waitUntilGone(isSavePanel));
    run.roundTrip();
    EXPECT_EQ(requestsFor(server, "/standin-script.js"), 0);
    EXPECT_FALSE(fs::exists(folder / "cancelled.js"));

    // The server has no such file: the user is told, and no file appears.
    run.eval("location.href = '/missing.zip'; 1");
    ASSERT_TRUE(a11y.waitFor(isSavePanel));
    ASSERT_TRUE(a11y.setText("Save File", (folder / "missing.zip").string()));
    ASSERT_TRUE(a11y.press("Save", "Save File"));
    ASSERT_TRUE(a11y.waitFor(Accessibility::containing("label", "The file could not be saved."), 60)) << a11y.describe();
    EXPECT_TRUE(run.program->waitForOutput("##### ERROR while downloading"));
    EXPECT_FALSE(fs::exists(folder / "missing.zip"));
    EXPECT_EQ(requestsFor(server, "/missing.zip"), 1);
    ASSERT_TRUE(a11y.press("OK"));

    EXPECT_EQ(run.stop(), 0);
}

// A sub-frame follows the same policy as the main frame: a file becomes a download. In either
// frame a mail address goes to the mail program and another program's scheme is refused; neither
// leaves the web client or puts the error page in its place.
TEST(WebHostNavigation, FramesDownloadFilesAndNeverFailOnOtherSchemes) {
    WebHostRun run;
    run.home.recordOpenedURLs({"http", "https", "mailto", "tel", "ftp"});
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    auto& a11y = run.accessibility();
    const std::string frame = "document.querySelector('iframe').contentWindow.location";

    // From here on, a "ready" would be a page load (the page's own has been recorded).
    const size_t from = run.roundTrip();
    run.eval(frame + ".href = '/download.txt'; 1");
    ASSERT_TRUE(a11y.waitFor(isSavePanel)) << a11y.describe() << run.program->output();
    ASSERT_TRUE(a11y.press("Cancel", "Save File")) << a11y.describe();
    EXPECT_TRUE(a11y.waitUntilGone(isSavePanel));
    run.roundTrip();
    EXPECT_EQ(requestsFor(server, "/download.txt"), 0);

    for (const std::string& target : {std::string("location"), frame}) {
        SCOPED_TRACE(target);
        run.eval(target + ".href = 'tel:+15550100'; 1");
        run.eval(target + ".href = 'ftp://files.example.org/a'; 1");
        run.eval(target + ".href = 'mailto:ann@example.org?subject=a.pdf'; 1");
        // The mail address is handed over after the refused ones would have been.
        EXPECT_EQ(run.home.waitForOpenedURLs(target == frame ? 2 : 1).back(), "mailto:ann@example.org?subject=a.pdf");
        run.roundTrip();
    }
    EXPECT_EQ(run.home.openedURLs(), std::vector<std::string>(2, "mailto:ann@example.org?subject=a.pdf"));
    EXPECT_FALSE(a11y.waitFor(isSavePanel, 0));
    EXPECT_FALSE(server.waitForReady(0, from)) << "the page was left\n" << run.program->output();
    EXPECT_EQ(run.program->output().find("could-not-connect page shown"), std::string::npos) << run.program->output();
    EXPECT_EQ(run.stop(), 0);
}
