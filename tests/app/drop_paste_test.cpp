// Dropped and pasted content: which files are taken (regular files only; no folders, devices,
// pipes, sockets, links or other machines' files), how URI lists with odd names are read, how
// pasted images become temporary files, how promised files are awaited, and which road a
// paste or drop takes (files first, then images, nothing while sending is off or locked).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <thread>

#include "RunLoop.h"
#include "TestFiles.h"
#include "WQTempFile.h"
#include "WQTemporaryDirectory.h"
#include "foundation/MainQueue.h"
#include "media/WQDropView.h"
#include "media/WQPasteBoardReader.h"

namespace fs = std::filesystem;
using parlivo::WQDropView;
using parlivo::WQPasteboard;
using Reader = parlivo::WQPasteBoardReader;
using Refusal = Reader::Refusal;
using testsupport::fileURI;
using testsupport::writeFile;

namespace {

// A folder of hostile things to drop, made fresh for each test.
class HostileFolder : public ::testing::Test {
protected:
    tovak::WQTemporaryDirectory folder;
    fs::path at(std::string_view name) const { return folder.url() / std::string(name); }
};

// --- the file check: a table of what may come in a URI list ---

TEST_F(HostileFolder, OnlyReadableRegularFilesAreTaken) {
    writeFile(at("plain.txt"), "hello");
    writeFile(at("empty"), "");
    fs::create_directory(at("folder"));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = at("socket").string();
    ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    fs::create_symlink("/etc/passwd", at("link-out"));
    fs::create_symlink(at("plain.txt"), at("link-in"));
    fs::create_symlink(at("nowhere"), at("dangling"));
    fs::create_directory_symlink("/etc", at("folder-link"));
    writeFile(at("secret"), "x");
    fs::permissions(at("secret"), fs::perms::none);
    const bool root = ::geteuid() == 0;
    // A huge (sparse) file: taken here without reading a byte; the size cap is the conversion's,
    // which refuses it with a message the user sees.
    {
        const int fd = ::open(at("huge.bin").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(64) << 30), 0);
        ::close(fd);
    }

    struct Case {
        fs::path path;
        std::optional<Refusal> expected;
    };
    const std::vector<Case> cases = {
        {at("plain.txt"), std::nullopt},
        {at("empty"), std::nullopt},
        {at("huge.bin"), std::nullopt},
        {at("folder"), Refusal::notARegularFile},
        {at("fifo"), Refusal::notARegularFile},
        {at("socket"), Refusal::notARegularFile},
        {"/dev/zero", Refusal::notARegularFile},
        {"/dev/null", Refusal::notARegularFile},
        {"/proc/self", Refusal::symbolicLink},
        {at("link-out"), Refusal::symbolicLink},
        {at("link-in"), Refusal::symbolicLink},
        {at("dangling"), Refusal::symbolicLink},
        {at("folder-link"), Refusal::symbolicLink},
        {at("missing"), Refusal::missing},
        {at("secret"), root ? std::nullopt : std::optional<Refusal>(Refusal::unreadable)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Reader::checkFile(c.path), c.expected) << c.path;
    }

    // The same through a URI list: the accepted ones in order, every refusal named.
    std::string list;
    for (const auto& c : cases) list += fileURI(c.path) + "\r\n";
    const auto files = Reader::getURLs(list);
    std::vector<fs::path> accepted;
    for (const auto& c : cases)
        if (!c.expected) accepted.push_back(c.path);
    EXPECT_EQ(files.accepted, accepted);
    EXPECT_EQ(files.accepted.size() + files.refused.size(), cases.size());
    ::close(sock);
}

TEST_F(HostileFolder, UriListsWithOddNamesAndOtherSchemes) {
    // Names a file manager may well hand over: spaces, quotes, a line break, a percent sign,
    // bytes that are not UTF-8, a leading dash, a script-looking name.
    const std::vector<std::string> names = {"a b.txt",    "quote\"'s.txt", "line\nbreak.txt", "100%.txt",
                                            "\xff\xfe.bin", "-rf",           "<script>alert(1)<b>.png", "日本語.txt"};
    std::string list = "# a comment line\r\n\r\n";
    for (const auto& name : names) {
        writeFile(at(name), "x");
        list += fileURI(at(name)) + "\r\n";
    }
    list += "https://example.com/a.png\r\n";            // a web link
    list += "file://otherhost.invalid/etc/hosts\r\n";   // another machine
    list += "file:///no%00nul\r\n";                     // an encoded NUL
    list += "javascript:alert(1)\r\n";
    list += std::string("file:///tmp/raw\0nul", 19) + "\n";  // a raw NUL: the line is skipped
    list += "file://localhost" + fs::path(at("a b.txt")).string() + "\n";  // unencoded, localhost

    const auto files = Reader::getURLs(list);
    std::vector<fs::path> expected;
    for (const auto& name : names) expected.push_back(at(name));
    ASSERT_GE(files.accepted.size(), expected.size());
    EXPECT_EQ(std::vector<fs::path>(files.accepted.begin(), files.accepted.begin() + expected.size()), expected);

    std::map<std::string, Refusal> refused(files.refused.begin(), files.refused.end());
    EXPECT_EQ(refused.at("https://example.com/a.png"), Refusal::notAFileURL);
    EXPECT_EQ(refused.at("file://otherhost.invalid/etc/hosts"), Refusal::remoteHost);
    EXPECT_EQ(refused.at("file:///no%00nul"), Refusal::notAFileURL);
    EXPECT_EQ(refused.at("javascript:alert(1)"), Refusal::notAFileURL);
    EXPECT_TRUE(Reader::namesLocalFiles(list));
    EXPECT_FALSE(Reader::namesLocalFiles("https://example.com/\r\nmailto:a@b\r\n"));
    // A file manager's copied-files text: the first line is the operation.
    EXPECT_EQ(Reader::getURLs("copy\n" + fileURI(at("-rf"))).accepted, std::vector<fs::path>{at("-rf")});
}

TEST(PromisedFileName, OnlyPlainNames) {
    for (const char* bad : {"", ".", "..", "a/b", "../x", "/etc/passwd"})
        EXPECT_FALSE(Reader::promisedFileName(bad)) << bad;
    EXPECT_FALSE(Reader::promisedFileName(std::string(256, 'a')));
    EXPECT_FALSE(Reader::promisedFileName(std::string("a\0b", 3)));
    for (const char* good : {"photo.jpg", "..hidden", "a b", "-rf"})
        EXPECT_EQ(Reader::promisedFileName(good), std::string(good));
}

// --- images ---

TEST(PastedImages, BecomeJPEGOrPNGTemporaryFiles) {
    // Opaque: JPEG. Transparent: PNG (JPEG would lose the transparency).
    tovak::RGBAImage opaque(8, 6);
    std::fill(opaque.pixels.begin(), opaque.pixels.end(), 255);
    std::string error;
    auto jpeg = Reader::writeImage(opaque, &error);
    ASSERT_TRUE(jpeg) << error;
    EXPECT_EQ(jpeg->url().extension(), ".jpg");
    std::ifstream in(jpeg->url(), std::ios::binary);
    std::string head(3, '\0');
    in.read(head.data(), 3);
    EXPECT_EQ(head, "\xff\xd8\xff");
    std::ifstream whole(jpeg->url(), std::ios::binary);
    auto decoded = Reader::decodeImage(std::string(std::istreambuf_iterator<char>(whole), {}));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 8);
    EXPECT_EQ(decoded->height, 6);

    tovak::RGBAImage clear = opaque;
    clear.pixels[3] = 0;
    auto png = Reader::writeImage(clear, &error);
    ASSERT_TRUE(png) << error;
    EXPECT_EQ(png->url().extension(), ".png");
    const fs::path pngPath = png->url();
    png.reset();
    EXPECT_FALSE(fs::exists(pngPath)) << "the temporary file goes with its owner";
}

TEST(PastedImages, BytesThatAreNoImageAreRefused) {
    const std::string pngSignature = "\x89PNG\r\n\x1a\n";
    for (const std::string& bytes : {std::string(), std::string("hello"), pngSignature,
                                     pngSignature + std::string(100, '\0'), std::string(4096, '\xff')})
        EXPECT_FALSE(Reader::decodeImage(bytes)) << bytes.size();
    EXPECT_FALSE(Reader::writeImage(tovak::RGBAImage()));
}

// --- promised files ---

TEST_F(HostileFolder, PromisedFilesAreTakenOnceTheyHaveSettled) {
    const Reader::PromiseWait fast{std::chrono::milliseconds(5), 400};
    // An empty list: delivered at once, empty.
    auto none = Reader::waitForPromisedFiles({}, folder.url(), fast);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    // A name with a folder part is never waited for.
    EXPECT_FALSE(Reader::waitForPromisedFiles({"../escape"}, folder.url(), fast));
    // Files that never come: nothing after the last attempt.
    EXPECT_FALSE(Reader::waitForPromisedFiles({"never"}, folder.url(), {std::chrono::milliseconds(1), 5}));
    // A link in place of the file is not followed (and so never settles).
    fs::create_symlink("/etc/passwd", at("linked"));
    EXPECT_FALSE(Reader::waitForPromisedFiles({"linked"}, folder.url(), {std::chrono::milliseconds(1), 5}));

    // Files written while we wait: taken once both exist and are no longer changing, in order.
    std::thread writer([this] {
        writeFile(at("second"), "2");
        std::ofstream first(at("first"), std::ios::binary);
        for (int i = 0; i < 5; ++i) {
            first << std::string(1000, 'x') << std::flush;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    auto files = Reader::waitForPromisedFiles({"first", "second"}, folder.url(), fast);
    writer.join();
    ASSERT_TRUE(files);
    EXPECT_EQ(*files, (std::vector<fs::path>{at("first"), at("second")}));
    EXPECT_EQ(fs::file_size(at("first")), 5000u);

    // Cancelled (the view went away): nothing.
    EXPECT_FALSE(Reader::waitForPromisedFiles({"never"}, folder.url(), fast, [] { return true; }));
}

// --- the view's roads, with a pasteboard of the test's making ---

class FakePasteboard : public WQPasteboard {
public:
    std::vector<std::string> offered;
    std::map<std::string, std::string> data;
    std::vector<std::string> reads;
    const std::vector<std::string>& types() const override { return offered; }
    void read(const std::string& type, std::function<void(std::optional<std::string>)> completion) override {
        reads.push_back(type);
        std::optional<std::string> value;
        if (auto found = data.find(type); found != data.end()) value = found->second;
        // Answered later, as another program's clipboard would.
        platform::MainQueue::async([completion = std::move(completion), value] { completion(value); });
    }
};

struct Delivery {
    std::vector<fs::path> urls;
    std::vector<bool> existedAtDelivery;
    size_t owners = 0;
};

class RecordingDelegate : public parlivo::WQDropViewDelegate {
public:
    std::vector<Delivery> deliveries;
    void processFileURLs(const std::vector<fs::path>& urls) override { processFileURLs(urls, {}); }
    void processFileURLs(const std::vector<fs::path>& urls, std::vector<std::shared_ptr<void>> owners) override {
        Delivery delivery{urls, {}, owners.size()};
        for (const auto& url : urls) delivery.existedAtDelivery.push_back(fs::exists(url));
        deliveries.push_back(std::move(delivery));
    }
};

std::string pngBytes(bool transparent) {
    tovak::RGBAImage image(4, 4);
    std::fill(image.pixels.begin(), image.pixels.end(), 255);
    if (transparent) image.pixels[3] = 0;
    auto file = Reader::writeImage(image);
    std::ifstream in(file->url(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DropViewRoads : public HostileFolder {
protected:
    std::shared_ptr<WQDropView> view = WQDropView::create();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    bool locked = false;

    void SetUp() override {
        view->delegate = delegate;
        view->isLocked = [this] { return locked; };
    }

    std::optional<bool> paste(const std::shared_ptr<FakePasteboard>& pasteboard) {
        std::optional<bool> result;
        view->paste(pasteboard, [&](bool handled) { result = handled; });
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return result.has_value(); }, 30));
        return result;
    }
};

TEST_F(DropViewRoads, FilesGoFirstThenImagesAndNothingWhenNothingUsable) {
    writeFile(at("doc.pdf"), "%PDF");
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);

    // Files and an image on offer: only the files go.
    auto both = std::make_shared<FakePasteboard>();
    both->offered = {"image/png", "text/uri-list"};
    both->data = {{"text/uri-list", fileURI(at("doc.pdf")) + "\r\n" + fileURI(at("fifo")) + "\r\n"},
                  {"image/png", pngBytes(false)}};
    EXPECT_EQ(paste(both), true);
    ASSERT_EQ(delegate->deliveries.size(), 1u);
    EXPECT_EQ(delegate->deliveries[0].urls, std::vector<fs::path>{at("doc.pdf")});
    EXPECT_EQ(both->reads, std::vector<std::string>{"text/uri-list"});

    // Only refused files (a fifo, a folder): on to the image, written as a temporary JPEG that
    // exists while the delegate has it and is handed over with its owner.
    auto refusedFiles = std::make_shared<FakePasteboard>();
    refusedFiles->offered = {"text/uri-list", "image/png"};
    refusedFiles->data = {{"text/uri-list", fileURI(at("fifo")) + "\n" + fileURI(folder.url()) + "\n"},
                          {"image/png", pngBytes(false)}};
    EXPECT_EQ(paste(refusedFiles), true);
    ASSERT_EQ(delegate->deliveries.size(), 2u);
    ASSERT_EQ(delegate->deliveries[1].urls.size(), 1u);
    EXPECT_EQ(delegate->deliveries[1].urls[0].extension(), ".jpg");
    EXPECT_TRUE(delegate->deliveries[1].existedAtDelivery[0]);
    EXPECT_EQ(delegate->deliveries[1].owners, 1u);

    // A transparent image stays PNG.
    auto transparent = std::make_shared<FakePasteboard>();
    transparent->offered = {"image/png"};
    transparent->data = {{"image/png", pngBytes(true)}};
    EXPECT_EQ(paste(transparent), true);
    ASSERT_EQ(delegate->deliveries.size(), 3u);
    EXPECT_EQ(delegate->deliveries[2].urls.at(0).extension(), ".png");

    // Nothing usable: text only, bytes that are no image, an owner that gives nothing, no types.
    const size_t before = delegate->deliveries.size();
    for (auto [types, data] : std::vector<std::pair<std::vector<std::string>, std::map<std::string, std::string>>>{
             {{"text/plain", "UTF8_STRING"}, {{"text/plain", "hello"}}},
             {{"image/png"}, {{"image/png", "not a png"}}},
             {{"image/jpeg"}, {}},
             {{"text/uri-list"}, {{"text/uri-list", "https://example.com/x.png"}}},
             // Oversized: a file list past the cap (of real files), an image past the cap.
             {{"text/uri-list"}, {{"text/uri-list", [&] {
                  std::string list;
                  while (list.size() <= Reader::maximumURIListBytes) list += fileURI(at("doc.pdf")) + "\r\n";
                  return list;
              }()}}},
             {{"image/png"}, {{"image/png", pngBytes(false) + std::string(Reader::maximumImageBytes, '\0')}}},
             {{}, {}},
         }) {
        auto pasteboard = std::make_shared<FakePasteboard>();
        pasteboard->offered = types;
        pasteboard->data = data;
        EXPECT_EQ(paste(pasteboard), false) << (types.empty() ? "" : types[0]);
    }
    EXPECT_EQ(delegate->deliveries.size(), before);
}

TEST_F(DropViewRoads, SendingOffOrLockedTakesNothing) {
    writeFile(at("doc.pdf"), "%PDF");
    auto pasteboard = std::make_shared<FakePasteboard>();
    pasteboard->offered = {"text/uri-list"};
    pasteboard->data = {{"text/uri-list", fileURI(at("doc.pdf"))}};

    view->sendingEnabled = false;
    EXPECT_EQ(paste(pasteboard), false);
    EXPECT_FALSE(view->prepareForDragOperation());
    view->sendingEnabled = true;
    locked = true;
    EXPECT_EQ(paste(pasteboard), false);
    EXPECT_FALSE(view->prepareForDragOperation());
    EXPECT_TRUE(pasteboard->reads.empty()) << "nothing is read while sending is off";
    EXPECT_TRUE(delegate->deliveries.empty());

    // The lock coming on while the clipboard is being read: still nothing sent.
    locked = false;
    std::optional<bool> result;
    view->paste(pasteboard, [&](bool handled) { result = handled; });
    locked = true;
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return result.has_value(); }, 30));
    EXPECT_EQ(result, false);
    EXPECT_TRUE(delegate->deliveries.empty());
}

TEST(DropViewDrags, WhichDragsAreTheOverlays) {
    using Verdict = WQDropView::DragVerdict;
    const std::string files = "file:///tmp/a.txt\r\n";
    struct Case {
        std::vector<std::string> types;
        std::optional<std::string> uriList;
        bool fromPage;
        Verdict expected;
    };
    const std::vector<Case> cases = {
        {{"text/uri-list"}, std::nullopt, false, Verdict::pending},
        {{"text/uri-list"}, files, false, Verdict::take},
        {{"text/uri-list"}, files, true, Verdict::page},  // the page's own drag
        {{"text/uri-list", "text/plain"}, std::string("https://example.com/\r\n"), false, Verdict::page},  // a link
        {{"text/plain", "text/html"}, std::nullopt, false, Verdict::page},
        {{"image/png"}, std::nullopt, false, Verdict::take},
        {{"XdndDirectSave0", "text/plain"}, std::nullopt, false, Verdict::take},
        {{}, std::nullopt, false, Verdict::page},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WQDropView::classifyDrag(c.types, c.uriList, c.fromPage), c.expected)
            << (c.types.empty() ? "" : c.types[0]);
}

}  // namespace
