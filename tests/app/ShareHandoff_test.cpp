// The share hand-off: a share URL names an archive in a folder of the share root; the folder is
// taken over, its archive read strictly, and the result shown once or kept until the web view
// exists. Anything outside the share root, links and hostile archives are refused.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "RunLoop.h"
#include "TestFiles.h"
#include "TrellikTestSupport.h"
#include "WQTemporaryDirectory.h"
#include "foundation/KeyedArchive.h"
#include "foundation/PropertyList.h"
#include "settings/ShareHandoff.h"

using namespace parlivo;
using namespace trelliktest;
namespace fs = std::filesystem;
using testsupport::writeFile;
using Object = platform::KeyedArchive::Object;

namespace {

Object fileURL(const std::string& name) { return Object::makeURL("file:///Users/someone/Desktop/" + name); }

Object attributed(const std::string& text) {
    return Object::makeRecord("AttributedString", {{"NSString", Object::makeString(text)}});
}

std::vector<std::uint8_t> archiveOf(std::vector<Object> items) {
    platform::KeyedArchive::WriteOptions options;
    options.classNames = {{"AttributedString", "NSAttributedString"}};
    return platform::KeyedArchive::write(Object::makeArray(std::move(items)), options);
}

// A hand-made archive, for shapes our writer never produces.
std::vector<std::uint8_t> rawArchive(platform::PropertyList::Array objects, std::uint64_t root = 1) {
    platform::PropertyList archive = platform::PropertyList::dictionary();
    archive.set("$archiver", "NSKeyedArchiver");
    archive.set("$version", 100000);
    platform::PropertyList top = platform::PropertyList::dictionary();
    top.set("root", platform::PropertyList::Uid{root});
    archive.set("$top", top);
    archive.set("$objects", std::move(objects));
    return archive.toBinary();
}

platform::PropertyList classEntry(const char* name) {
    platform::PropertyList entry = platform::PropertyList::dictionary();
    entry.set("$classname", name);
    entry.set("$classes", platform::PropertyList::Array{name, "NSObject"});
    return entry;
}

platform::PropertyList arrayObject(platform::PropertyList::Array references, std::uint64_t classIndex) {
    platform::PropertyList object = platform::PropertyList::dictionary();
    object.set("NS.objects", std::move(references));
    object.set("$class", platform::PropertyList::Uid{classIndex});
    return object;
}

class ShareHandoffTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearSettings();
        base = fs::path(testing::TempDir()) / ("share-test-" + std::to_string(getpid()));
        fs::remove_all(base);
        root = base / "root";
        fs::create_directories(root);
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::replace);
        trellik = std::make_unique<Trellik>();
        ASSERT_TRUE(testsupport::drainMainQueue());  // its queued start-up work
        trellik->setShareRoot(root);
        web = std::make_shared<RecordingWebView>(log);
    }
    void TearDown() override {
        trellik.reset();
        fs::remove_all(base);
    }

    // A share folder with files and an archive; returns the share URL.
    std::string makeShare(const std::string& folderName, std::vector<Object> items,
                          std::vector<std::string> files = {"A.jpg", "B.pdf"}) {
        const fs::path folder = root / folderName;
        fs::create_directories(folder);
        for (const auto& name : files) writeFile(folder / name, "content of " + name);
        writeFile(folder / "share.archive", archiveOf(std::move(items)));
        return "net.vantreo.mac.whatsapp.share://" + (folder / "share.archive").string();
    }

    fs::path base, root;
    EventLog log;
    std::unique_ptr<Trellik> trellik;
    std::shared_ptr<RecordingWebView> web;
};

}  // namespace

TEST_F(ShareHandoffTest, FilesAreHandedOverOnceInsideTheTemporaryDirectory) {
    trellik->setWebViewDelegate(web);
    const std::string url = makeShare("s1", {fileURL("A.jpg"), fileURL("B.pdf")});
    trellik->processShare(url);

    ASSERT_EQ(web->shares.size(), 1u);
    const auto& share = web->shares[0];
    ASSERT_TRUE(share.fileUrls);
    EXPECT_FALSE(share.text);
    const fs::path folder = share.tempDirectory->url();
    EXPECT_EQ(*share.fileUrls, (std::vector<fs::path>{folder / "A.jpg", folder / "B.pdf"}));
    EXPECT_TRUE(fs::is_regular_file(folder / "A.jpg"));
    EXPECT_FALSE(fs::exists(root / "s1"));  // the share folder was taken over
    EXPECT_FALSE(trellik->pendingShare());

    // The overlay owns the files: when it lets go, they are gone.
    web->shares.clear();
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(ShareHandoffTest, TheFirstTextOrWebAddressWins) {
    trellik->setWebViewDelegate(web);
    struct Case {
        const char* name;
        std::vector<Object> items;
        std::optional<std::string> text;
        std::vector<std::string> files;
    };
    const std::vector<Case> cases = {
        {"web address between files", {fileURL("A.jpg"), Object::makeURL("https://example.org/x?y=1"), fileURL("B.pdf")},
         "https://example.org/x?y=1", {}},
        {"title, then content",
         {Object::makeDictionary({{"title", attributed("T")}}), Object::makeDictionary({{"content", attributed("C")}})},
         "T", {}},
        {"content before title", {Object::makeDictionary({{"content", attributed("C")}, {"title", attributed("T")}})}, "C", {}},
        {"dictionary with other values is skipped",
         {Object::makeDictionary({{"content", Object::makeString("plain")}}), fileURL("A.jpg")}, std::nullopt, {"A.jpg"}},
        {"dictionary without either key is skipped", {Object::makeDictionary({{"other", attributed("x")}})}, std::nullopt, {}},
        {"empty array", {}, std::nullopt, {}},
        {"other kinds only", {Object::makeString("text"), Object::makeValue(3)}, std::nullopt, {}},
        {"unsafe and missing names are skipped",
         {Object::makeURL("file:///x/.."), Object::makeURL("file:///"), Object::makeURL("file:///a/..%2F..%2Fsecret"),
          fileURL("missing.txt"), fileURL("A.jpg")},
         std::nullopt, {"A.jpg"}},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        web->shares.clear();
        trellik->processShare(makeShare("case" + std::to_string(index++), c.items));
        ASSERT_EQ(web->shares.size(), 1u);
        const auto& share = web->shares[0];
        EXPECT_EQ(share.text, c.text);
        if (c.text) {
            EXPECT_FALSE(share.fileUrls);
        } else {
            ASSERT_TRUE(share.fileUrls);
            std::vector<std::string> names;
            for (const auto& path : *share.fileUrls) {
                EXPECT_EQ(path.parent_path(), share.tempDirectory->url());
                names.push_back(path.filename().string());
            }
            EXPECT_EQ(names, c.files);
        }
    }
}

TEST_F(ShareHandoffTest, AShareWaitsForTheWebViewAndANewerOneReplacesIt) {
    trellik->processShare(makeShare("first", {fileURL("A.jpg")}));
    ASSERT_TRUE(trellik->pendingShare());
    const fs::path firstFolder = trellik->pendingShare()->tempDirectory->url();
    EXPECT_TRUE(fs::exists(firstFolder));

    trellik->processShare(makeShare("second", {Object::makeURL("https://example.org")}));
    EXPECT_FALSE(fs::exists(firstFolder));  // released with the first record
    ASSERT_TRUE(trellik->pendingShare());
    EXPECT_EQ(trellik->pendingShare()->text, "https://example.org");

    // The web view that registers takes the pending share: it is handed over whole, folder
    // included, and the model keeps nothing of it.
    auto pending = trellik->takePendingShare();
    ASSERT_TRUE(pending);
    EXPECT_EQ(pending->text, "https://example.org");
    ASSERT_TRUE(pending->tempDirectory);
    const fs::path folder = pending->tempDirectory->url();
    EXPECT_TRUE(fs::exists(folder));
    EXPECT_FALSE(trellik->pendingShare());
    EXPECT_FALSE(trellik->takePendingShare());
    pending.reset();
    EXPECT_FALSE(fs::exists(folder));  // the taker held the last reference
}

TEST_F(ShareHandoffTest, PathsOutsideTheShareRootAndLinksAreRefusedWithNothingMoved) {
    trellik->setWebViewDelegate(web);
    // A folder outside the root, with an archive that would be valid.
    const fs::path outside = base / "outside";
    fs::create_directories(outside);
    writeFile(outside / "precious.txt", "keep me");
    writeFile(outside / "share.archive", archiveOf({fileURL("precious.txt")}));
    // A link inside the root that points at it, and a folder nested one level too deep.
    fs::create_directory_symlink(outside, root / "link");
    fs::create_directories(root / "a" / "b");
    writeFile(root / "a" / "b" / "share.archive", archiveOf({}));

    const std::vector<std::string> refused = {
        "net.vantreo.mac.whatsapp.share://" + (outside / "share.archive").string(),
        "net.vantreo.mac.whatsapp.share://" + (root / ".." / "outside" / "share.archive").string(),
        "net.vantreo.mac.whatsapp.share://" + (root / "link" / "share.archive").string(),
        "net.vantreo.mac.whatsapp.share://" + (root / "a" / "b" / "share.archive").string(),
        "net.vantreo.mac.whatsapp.share://" + (root / "share.archive").string(),  // the root itself
        "net.vantreo.mac.whatsapp.share://" + (root / "a" / "..").string(),     // no archive name
        "net.vantreo.mac.whatsapp.share:relative/share.archive",
        "https://example.org" + (outside / "share.archive").string(),           // another scheme
        "not a url at all",
    };
    for (const auto& url : refused) {
        SCOPED_TRACE(url);
        trellik->processShare(url);
    }
    EXPECT_TRUE(web->shares.empty());
    EXPECT_FALSE(trellik->pendingShare());
    EXPECT_TRUE(fs::is_regular_file(outside / "precious.txt"));
    EXPECT_TRUE(fs::is_regular_file(outside / "share.archive"));
    EXPECT_TRUE(fs::is_symlink(root / "link"));
    EXPECT_TRUE(fs::is_regular_file(root / "a" / "b" / "share.archive"));
}

// Each refusal of a share folder for the one reason that alone decides it: a link to a folder
// inside the root passes the "directly inside" check, a folder of another user passes the rest.
TEST_F(ShareHandoffTest, AShareFolderThatIsALinkOrAnotherUsersIsRefused) {
    fs::create_directories(root / "real");
    fs::create_directory_symlink(root / "real", root / "alias");
    std::string reason;
    EXPECT_EQ(ShareHandoff::acceptedShareFolder(root / "real" / "share.archive", root, &reason), fs::canonical(root / "real"));
    EXPECT_FALSE(ShareHandoff::acceptedShareFolder(root / "alias" / "share.archive", root, &reason));
    EXPECT_EQ(reason, "the folder is a link");

    // Another user's folder directly inside the root. As root, one is made; otherwise the system's
    // own /tmp, directly inside "/", belongs to someone else.
    fs::path foreignRoot = root, foreign = root / "theirs";
    if (geteuid() == 0) {
        fs::create_directories(foreign);
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    } else {
        foreignRoot = "/";
        foreign = "/tmp";
        ASSERT_NE(fs::status(foreign).type(), fs::file_type::not_found);
    }
    reason.clear();
    EXPECT_FALSE(ShareHandoff::acceptedShareFolder(foreign / "share.archive", foreignRoot, &reason));
    EXPECT_EQ(reason, "the folder belongs to another user");
    trellik->setWebViewDelegate(web);
    trellik->processShare("net.vantreo.mac.whatsapp.share://" + (root / "alias" / "share.archive").string());
    EXPECT_TRUE(web->shares.empty());
    EXPECT_TRUE(fs::is_directory(root / "real")) << "nothing moved";
    EXPECT_TRUE(fs::is_symlink(root / "alias"));
}

TEST_F(ShareHandoffTest, TheSchemeIsMatchedWithoutRegardToCaseAndThePathIsDecoded) {
    trellik->setWebViewDelegate(web);
    const fs::path folder = root / "with space";
    makeShare("with space", {fileURL("A.jpg")});
    trellik->processShare("NET.Vantreo.mac.WhatsApp.SHARE://" + root.string() + "/with%20space/share.archive");
    ASSERT_EQ(web->shares.size(), 1u);
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(ShareHandoffTest, HostileArchivesShowNothingAndLinksInsideAreNeverFollowed) {
    trellik->setWebViewDelegate(web);
    const auto nsArray = classEntry("NSArray");
    using U = platform::PropertyList::Uid;
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> hostile = {
        {"reference out of range", rawArchive({"$null", arrayObject({U{99}}, 2), nsArray})},
        {"root out of range", rawArchive({"$null", arrayObject({}, 2), nsArray}, 42)},
        {"cycle", rawArchive({"$null", arrayObject({U{1}}, 2), nsArray})},
        {"class reference out of range", rawArchive({"$null", arrayObject({}, 7)})},
        {"unknown class", [&] {
             platform::PropertyList font = platform::PropertyList::dictionary();
             font.set("NSName", "Helvetica");
             font.set("$class", U{4});
             return rawArchive({"$null", arrayObject({U{3}}, 2), nsArray, font, classEntry("NSFont")});
         }()},
        {"root is not an array",
         platform::KeyedArchive::write(Object::makeDictionary({{"content", Object::makeString("x")}}))},
        {"not an archive", std::vector<std::uint8_t>{'n', 'o', 'p', 'e'}},
    };
    int index = 0;
    for (const auto& [name, bytes] : hostile) {
        SCOPED_TRACE(name);
        const fs::path folder = root / ("hostile" + std::to_string(index++));
        fs::create_directories(folder);
        writeFile(folder / "share.archive", bytes);
        trellik->processShare("net.vantreo.mac.whatsapp.share://" + (folder / "share.archive").string());
        EXPECT_TRUE(web->shares.empty());
        EXPECT_FALSE(fs::exists(folder));  // taken over and released
    }

    // A file entry that is a link to something outside: skipped, its target untouched.
    const fs::path secret = base / "secret.txt";
    writeFile(secret, "secret");
    const fs::path folder = root / "linked";
    fs::create_directories(folder);
    fs::create_symlink(secret, folder / "secret.txt");
    writeFile(folder / "share.archive", archiveOf({fileURL("secret.txt")}));
    trellik->processShare("net.vantreo.mac.whatsapp.share://" + (folder / "share.archive").string());
    ASSERT_EQ(web->shares.size(), 1u);
    EXPECT_EQ(web->shares[0].fileUrls, std::vector<fs::path>{});
    web->shares.clear();
    EXPECT_TRUE(fs::is_regular_file(secret));

    // An archive that is itself a link is not read.
    const fs::path linkedArchive = root / "linked-archive";
    fs::create_directories(linkedArchive);
    writeFile(base / "elsewhere.archive", archiveOf({Object::makeURL("https://example.org")}));
    fs::create_symlink(base / "elsewhere.archive", linkedArchive / "share.archive");
    trellik->processShare("net.vantreo.mac.whatsapp.share://" + (linkedArchive / "share.archive").string());
    EXPECT_TRUE(web->shares.empty());
    EXPECT_TRUE(fs::is_regular_file(base / "elsewhere.archive"));
}
