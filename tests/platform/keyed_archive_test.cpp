#include "foundation/KeyedArchive.h"

#include <gtest/gtest.h>

using platform::KeyedArchive;
using platform::PropertyList;
using Object = KeyedArchive::Object;
using Uid = PropertyList::Uid;

namespace {

// What a read or decode said went wrong; empty when it succeeded.
std::string errorOf(const platform::Expected<Object>& decoded) {
    return decoded ? std::string() : decoded.error().message;
}

KeyedArchive::ReadOptions foundationClasses() {
    KeyedArchive::ReadOptions options;
    options.allowedClasses = {"NSArray",  "NSMutableArray",  "NSDictionary", "NSMutableDictionary",
                              "NSString", "NSMutableString", "NSURL",        "NSDate"};
    return options;
}

Object textPatch(std::string id, std::string prefix, std::string before, std::string after) {
    return Object::makeRecord("TextPatch", {{"id", Object::makeString(std::move(id))},
                                            {"namePrefix", Object::makeString(std::move(prefix))},
                                            {"before", Object::makeString(std::move(before))},
                                            {"after", Object::makeString(std::move(after))}});
}

// An archive written by hand the way Apple's archiver lays it out.
PropertyList archiveWith(PropertyList::Array objects, std::uint64_t root = 1) {
    return PropertyList(PropertyList::Dictionary{
        {"$archiver", "NSKeyedArchiver"},
        {"$version", 100000},
        {"$top", PropertyList::Dictionary{{"root", Uid{root}}}},
        {"$objects", std::move(objects)},
    });
}

PropertyList classDescription(const std::string& name) {
    return PropertyList::Dictionary{{"$classname", name}, {"$classes", PropertyList::Array{name, "NSObject"}}};
}

}  // namespace

TEST(KeyedArchiveTest, RoundTripsEveryKind) {
    const Object root = Object::makeArray({
        Object::makeString("plain"),
        Object::makeValue(42),
        Object::makeValue(true),
        Object::makeValue(2.5),
        Object::makeValue(PropertyList::data("bytes")),
        Object::makeValue(PropertyList::Date{100.0}),
        Object::makeURL("file:///tmp/share/photo.jpg"),
        Object::makeURL("page.html", "https://example.org/dir/"),
        Object::makeDictionary({{"content", Object::makeString("hello")}, {"empty", Object{}}}),
        textPatch("1", "", "a", "b"),
        Object::makeArray({Object::makeArray({Object::makeString("plain")})}),
    });
    auto options = foundationClasses();
    options.classNames = {{"TextPatch", "TextPatch"}};
    for (bool xml : {false, true}) {
        KeyedArchive::WriteOptions writeOptions;
        writeOptions.xml = xml;
        const auto bytes = KeyedArchive::write(root, writeOptions);
        ASSERT_FALSE(bytes.empty());
        auto decoded = KeyedArchive::read(bytes, options);
        ASSERT_TRUE(decoded) << errorOf(decoded);
        EXPECT_EQ(*decoded, root) << (xml ? "xml" : "binary");
    }
}

TEST(KeyedArchiveTest, WritesApplesLayout) {
    auto plist = KeyedArchive::archive(Object::makeArray({Object::makeString("x"), Object::makeString("x")}));
    ASSERT_TRUE(plist);
    EXPECT_EQ((*plist)["$archiver"].stringOr(), "NSKeyedArchiver");
    EXPECT_EQ((*plist)["$version"].asInt(), 100000);
    EXPECT_EQ((*plist)["$objects"][0].stringOr(), "$null");
    const auto root = (*plist)["$top"]["root"].asUid();
    ASSERT_TRUE(root);
    const PropertyList& array = (*plist)["$objects"][root->value];
    const auto classIndex = array["$class"].asUid();
    ASSERT_TRUE(classIndex);
    EXPECT_EQ((*plist)["$objects"][classIndex->value]["$classname"].stringOr(), "NSArray");
    // Equal strings are stored once, as Apple's archiver does.
    EXPECT_EQ(array["NS.objects"][0], array["NS.objects"][1]);
}

TEST(KeyedArchiveTest, ClassNamesMapBothWays) {
    KeyedArchive::WriteOptions writeOptions;
    writeOptions.classNames = {{"Patch", "TextPatch"}};
    Object record = textPatch("7", "main", "x", "y");
    record.className = "Patch";
    auto plist = KeyedArchive::archive(Object::makeArray({record}), writeOptions);
    ASSERT_TRUE(plist);
    EXPECT_NE(plist->toXml().find("<string>TextPatch</string>"), std::string::npos);

    auto options = foundationClasses();
    options.classNames = {{"TextPatch", "Patch"}};
    auto decoded = KeyedArchive::decode(*plist, options);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->elements.size(), 1u);
    EXPECT_EQ(decoded->elements[0].className, "Patch");
    EXPECT_EQ(*decoded->elements[0]["before"].asString(), "x");
}

TEST(KeyedArchiveTest, ReadsHandWrittenAppleArchive) {
    // [NSURL(file:///a.txt), {"title": NSAttributedString}] with in-place numbers in a record.
    PropertyList::Array objects{
        "$null",
        PropertyList::Dictionary{{"$class", Uid{9}}, {"NS.objects", PropertyList::Array{Uid{2}, Uid{5}}}},
        PropertyList::Dictionary{{"$class", Uid{4}}, {"NS.base", Uid{0}}, {"NS.relative", Uid{3}}},
        "file:///a.txt",
        classDescription("NSURL"),
        PropertyList::Dictionary{{"$class", Uid{10}}, {"NS.keys", PropertyList::Array{Uid{6}}},
                                 {"NS.objects", PropertyList::Array{Uid{7}}}},
        "title",
        PropertyList::Dictionary{{"$class", Uid{11}}, {"NSString", Uid{8}}, {"NSFlags", 3}},
        PropertyList::Dictionary{{"$class", Uid{12}}, {"NS.string", "Shared words"}},
        PropertyList::Dictionary{{"$classname", "NSMutableArray"},
                                 {"$classes", PropertyList::Array{"NSMutableArray", "NSArray", "NSObject"}}},
        classDescription("NSDictionary"),
        classDescription("NSAttributedString"),
        classDescription("NSMutableString"),
    };
    auto options = foundationClasses();
    options.allowedClasses.insert("NSAttributedString");
    auto decoded = KeyedArchive::read(PropertyList(archiveWith(objects)).toBinary(), options);
    ASSERT_TRUE(decoded) << errorOf(decoded);
    ASSERT_EQ(decoded->elements.size(), 2u);
    EXPECT_EQ(decoded->elements[0].kind, Object::Kind::url);
    EXPECT_EQ(decoded->elements[0].absoluteURL(), "file:///a.txt");
    const Object& title = decoded->elements[1]["title"];
    EXPECT_EQ(title.className, "NSAttributedString");
    EXPECT_EQ(*title["NSString"].asString(), "Shared words");
    EXPECT_EQ(title["NSFlags"].value, PropertyList(3));
}

TEST(KeyedArchiveTest, StrictReaderRefusesBadArchives) {
    const PropertyList arrayClass = classDescription("NSArray");
    const struct {
        const char* name;
        PropertyList archive;
        const char* error;
    } cases[] = {
        {"not an archive", PropertyList(PropertyList::Dictionary{{"a", 1}}), "not a keyed archive"},
        {"wrong version",
         [] {
             PropertyList a = archiveWith({"$null", "x"});
             a.set("$version", 99);
             return a;
         }(),
         "unsupported keyed archive version"},
        {"no $null first", archiveWith({"x", "y"}), "keyed archive without objects"},
        {"root out of range", archiveWith({"$null", "x"}, 7), "object reference out of range"},
        {"element out of range",
         archiveWith({"$null", PropertyList::Dictionary{{"$class", Uid{2}}, {"NS.objects", PropertyList::Array{Uid{99}}}},
                      arrayClass}),
         "object reference out of range"},
        {"class out of range",
         archiveWith({"$null", PropertyList::Dictionary{{"$class", Uid{50}}, {"NS.objects", PropertyList::array()}}}),
         "class reference out of range"},
        {"unknown class",
         archiveWith({"$null", PropertyList::Dictionary{{"$class", Uid{2}}, {"secret", 1}}, classDescription("NSTask")}),
         "class not allowed: NSTask"},
        {"cycle",
         archiveWith({"$null", PropertyList::Dictionary{{"$class", Uid{2}}, {"NS.objects", PropertyList::Array{Uid{1}}}},
                      arrayClass}),
         "archive refers to itself"},
        {"elements not references",
         archiveWith({"$null", PropertyList::Dictionary{{"$class", Uid{2}}, {"NS.objects", PropertyList::Array{5}}},
                      arrayClass}),
         "expected an object reference"},
        {"object without class", archiveWith({"$null", PropertyList::Dictionary{{"NS.objects", PropertyList::array()}}}),
         "object without a class"},
        {"bare array object", archiveWith({"$null", PropertyList::Array{1}}), "unexpected object in archive"},
        {"dictionary counts differ",
         archiveWith({"$null",
                      PropertyList::Dictionary{{"$class", Uid{3}}, {"NS.keys", PropertyList::Array{Uid{2}}},
                                               {"NS.objects", PropertyList::array()}},
                      "k", classDescription("NSDictionary")}),
         "dictionary keys and objects differ in number"},
        {"non-string key",
         archiveWith({"$null",
                      PropertyList::Dictionary{{"$class", Uid{3}}, {"NS.keys", PropertyList::Array{Uid{2}}},
                                               {"NS.objects", PropertyList::Array{Uid{2}}}},
                      5, classDescription("NSDictionary")}),
         "dictionary key is not a string"},
    };
    for (const auto& c : cases) {
        const auto decoded = KeyedArchive::decode(c.archive, foundationClasses());
        ASSERT_FALSE(decoded) << c.name;
        EXPECT_EQ(decoded.error().domain, platform::KeyedArchiveErrorDomain) << c.name;
        EXPECT_EQ(decoded.error().message, c.error) << c.name;
    }
}

TEST(KeyedArchiveTest, DepthAndSizeAreCapped) {
    // A chain of arrays, each holding the next one.
    auto chain = [](std::uint64_t length) {
        PropertyList::Array objects{"$null", classDescription("NSArray")};
        for (std::uint64_t i = 0; i < length; ++i) {
            const std::uint64_t index = objects.size();
            PropertyList::Array next;
            if (i + 1 < length) next.emplace_back(Uid{index + 1});
            objects.emplace_back(PropertyList::Dictionary{{"$class", Uid{1}}, {"NS.objects", std::move(next)}});
        }
        return archiveWith(std::move(objects), 2);
    };
    auto options = foundationClasses();
    EXPECT_TRUE(KeyedArchive::decode(chain(100), options));
    EXPECT_EQ(errorOf(KeyedArchive::decode(chain(2000), options)), "archive nested too deeply");

    options.maxObjects = 50;
    EXPECT_EQ(errorOf(KeyedArchive::decode(chain(100), options)), "keyed archive has too many objects");

    // Shared references that expand exponentially.
    PropertyList::Array objects{"$null", classDescription("NSArray")};
    for (std::uint64_t i = 0; i < 40; ++i) {
        const std::uint64_t next = objects.size() + 1;
        objects.emplace_back(
            PropertyList::Dictionary{{"$class", Uid{1}}, {"NS.objects", PropertyList::Array{Uid{next}, Uid{next}}}});
    }
    objects.emplace_back("leaf");
    EXPECT_EQ(errorOf(KeyedArchive::decode(archiveWith(std::move(objects), 2), foundationClasses())),
              "archive expands to too many objects");
}

TEST(KeyedArchiveTest, GarbageBytesGiveAnError) {
    for (std::string bytes : {std::string(), std::string("bplist00garbage"), std::string("<plist><dict/></plist>"),
                              std::string(100, '\xff')}) {
        const auto decoded = KeyedArchive::read(bytes, foundationClasses());
        ASSERT_FALSE(decoded);
        EXPECT_FALSE(decoded.error().message.empty());
    }
}

TEST(KeyedArchiveTest, ResolvesRelativeURLs) {
    const struct {
        const char* base;
        const char* relative;
        const char* expected;
    } cases[] = {
        {"", "https://a.org/x", "https://a.org/x"},
        {"https://a.org/dir/page.html", "other.html", "https://a.org/dir/other.html"},
        {"https://a.org/dir/", "sub/x.png", "https://a.org/dir/sub/x.png"},
        {"https://a.org/dir/page.html", "/root.html", "https://a.org/root.html"},
        {"https://a.org", "x", "https://a.org/x"},
        {"file:///tmp/share/", "photo.jpg", "file:///tmp/share/photo.jpg"},
        {"https://a.org/dir/", "mailto:me@a.org", "mailto:me@a.org"},
    };
    for (const auto& c : cases) EXPECT_EQ(Object::makeURL(c.relative, c.base).absoluteURL(), c.expected) << c.base;
}

TEST(KeyedArchiveTest, RecordWithoutClassNameCannotBeWritten) {
    EXPECT_FALSE(KeyedArchive::archive(Object::makeRecord("", {})));
    EXPECT_TRUE(KeyedArchive::write(Object::makeArray({Object::makeRecord("", {})})).empty());
}
