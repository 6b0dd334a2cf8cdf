#include "foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <limits>

using platform::PropertyList;

namespace platform {
void PrintTo(const PropertyList& value, std::ostream* out) { *out << value.toXml(); }
}  // namespace platform

namespace {

// What a parse said went wrong; empty when it succeeded.
std::string errorOf(const platform::Expected<PropertyList>& parsed) {
    return parsed ? std::string() : parsed.error().message;
}

PropertyList everyType() {
    PropertyList::Dictionary nested{{"deep", PropertyList::Array{1, "two", PropertyList::Dictionary{{"x", 3.25}}}}};
    return PropertyList(PropertyList::Dictionary{
        {"true", true},
        {"false", false},
        {"zero", 0},
        {"negative", std::int64_t{-42}},
        {"large", std::numeric_limits<std::int64_t>::max()},
        {"smallest", std::numeric_limits<std::int64_t>::min()},
        {"real", 0.1},
        {"negativeReal", -1e300},
        {"string", "ünïcødé & <xml> \"quotes\""},
        {"empty string", ""},
        {"data", PropertyList::data(std::string("\0\x01\xff bytes", 9))},
        {"empty data", PropertyList::Data{}},
        {"date", PropertyList::Date{786'000'000}},
        {"old date", PropertyList::Date{-31'000'000}},
        {"array", PropertyList::Array{1, 2.5, "three", false}},
        {"empty array", PropertyList::array()},
        {"empty dictionary", PropertyList::dictionary()},
        {"nested", nested},
    });
}

}  // namespace

TEST(PropertyListTest, XmlAndBinaryRoundTripKeepEveryType) {
    const PropertyList original = everyType();
    const std::string xml = original.toXml();
    ASSERT_NE(xml.find("<plist"), std::string::npos);
    auto fromXml = PropertyList::parse(xml);
    ASSERT_TRUE(fromXml) << errorOf(fromXml);
    EXPECT_EQ(*fromXml, original);

    const auto binary = original.toBinary();
    ASSERT_GT(binary.size(), 8u);
    EXPECT_EQ(std::string(binary.begin(), binary.begin() + 8), "bplist00");
    auto fromBinary = PropertyList::parse(binary);
    ASSERT_TRUE(fromBinary) << errorOf(fromBinary);
    EXPECT_EQ(*fromBinary, original);
}

TEST(PropertyListTest, LargeBinaryListsRoundTrip) {
    // Past 64 KiB libplist writes offsets three bytes wide.
    PropertyList plist;
    plist.set("blob", PropertyList::Data(200'000, 0x5a));
    plist.set("after", "end");
    auto back = PropertyList::parse(plist.toBinary());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, plist);
}

TEST(PropertyListTest, ScalarsRoundTripAsTopLevelValues) {
    for (const PropertyList& value : {PropertyList(true), PropertyList(7), PropertyList(2.5), PropertyList("text"),
                                      PropertyList(PropertyList::Date{1.0}), PropertyList(PropertyList::Uid{5})}) {
        auto xml = PropertyList::parse(value.toXml());
        auto binary = PropertyList::parse(value.toBinary());
        ASSERT_TRUE(xml && binary);
        EXPECT_EQ(*xml, value);
        EXPECT_EQ(*binary, value);
    }
}

TEST(PropertyListTest, TypedAccessorsDoNotCoerce) {
    const PropertyList plist = everyType();
    EXPECT_EQ(plist["true"].asBool(), true);
    EXPECT_FALSE(plist["true"].asInt());
    EXPECT_EQ(plist["negative"].asInt(), -42);
    EXPECT_EQ(plist["negative"].asReal(), -42.0);  // integers read as reals
    EXPECT_FALSE(plist["real"].asInt());
    ASSERT_TRUE(plist["string"].asString());
    EXPECT_EQ(plist["zero"].asString(), nullptr);
    EXPECT_EQ(plist["array"][2].stringOr(), "three");
    EXPECT_EQ(plist["nested"]["deep"][2]["x"].asReal(), 3.25);
    EXPECT_EQ(plist["array"].size(), 4u);
}

TEST(PropertyListTest, MissingKeysAndIndexesReadAsNull) {
    const PropertyList plist = everyType();
    EXPECT_TRUE(plist["missing"].isNull());
    EXPECT_TRUE(plist["array"][99].isNull());
    EXPECT_TRUE(plist["string"]["not a dictionary"].isNull());
    EXPECT_TRUE(PropertyList()["anything"].isNull());
    EXPECT_FALSE(plist.contains("missing"));
    EXPECT_TRUE(plist.contains("zero"));
}

TEST(PropertyListTest, BuildingDictionariesAndArrays) {
    PropertyList plist;
    plist.set("name", "value");
    plist.set("count", 3);
    plist.set("name", "replaced");
    plist.remove("count");
    EXPECT_EQ(plist, PropertyList(PropertyList::Dictionary{{"name", "replaced"}}));

    PropertyList list;
    list.append(1);
    list.append("two");
    EXPECT_EQ(list.size(), 2u);

    PropertyList scalar(5);
    scalar.set("key", 1);  // not a dictionary: left alone
    EXPECT_EQ(scalar, PropertyList(5));
}

TEST(PropertyListTest, NullsAreLeftOutWhenWritten) {
    PropertyList plist(PropertyList::Dictionary{{"kept", 1}, {"dropped", nullptr}});
    plist.set("list", PropertyList::Array{1, nullptr, 2});
    auto back = PropertyList::parse(plist.toXml());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, PropertyList(PropertyList::Dictionary{{"kept", 1}, {"list", PropertyList::Array{1, 2}}}));
    EXPECT_TRUE(PropertyList().toXml().empty());
    EXPECT_TRUE(PropertyList().toBinary().empty());
}

TEST(PropertyListTest, BinaryKeepsFractionsOfSeconds) {
    for (double seconds : {786'000'000.5, -31'000'000.25, 0.000001}) {
        const PropertyList date(PropertyList::Date{seconds});
        auto back = PropertyList::parse(date.toBinary());
        ASSERT_TRUE(back);
        EXPECT_NEAR(back->asDate()->secondsSinceReferenceDate, seconds, 1e-6);
    }
}

TEST(PropertyListTest, DatesUseAppleReferenceDate) {
    using namespace std::chrono;
    const auto unixEpoch = system_clock::time_point{};
    EXPECT_DOUBLE_EQ(PropertyList::Date::fromTimePoint(unixEpoch).secondsSinceReferenceDate, -978307200.0);
    const PropertyList::Date date{60.0};
    EXPECT_EQ(duration_cast<seconds>(date.timePoint().time_since_epoch()).count(), 978307260);

    const std::string xml = PropertyList(PropertyList::Date{0}).toXml();
    EXPECT_NE(xml.find("2001-01-01T00:00:00Z"), std::string::npos) << xml;
}

TEST(PropertyListTest, ReadsAppleStyleXml) {
    const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleIdentifier</key>
	<string>net.vantreo.mac.WhatsApp</string>
	<key>Enabled</key>
	<true/>
	<key>Alpha</key>
	<real>0.5</real>
	<key>Count</key>
	<integer>-3</integer>
	<key>Blob</key>
	<data>AAEC</data>
	<key>Empty</key>
	<array/>
</dict>
</plist>)";
    auto plist = PropertyList::parse(std::string_view(xml));
    ASSERT_TRUE(plist);
    EXPECT_EQ((*plist)["CFBundleIdentifier"].stringOr(), "net.vantreo.mac.WhatsApp");
    EXPECT_EQ((*plist)["Enabled"].asBool(), true);
    EXPECT_EQ((*plist)["Alpha"].asReal(), 0.5);
    EXPECT_EQ((*plist)["Count"].asInt(), -3);
    EXPECT_EQ(*(*plist)["Blob"].asData(), (PropertyList::Data{0, 1, 2}));
    EXPECT_TRUE((*plist)["Empty"].isArray());
}

namespace {

std::string nestedXml(int depth) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i) xml += "<array>";
    for (int i = 0; i < depth; ++i) xml += "</array>";
    return xml + "</plist>";
}

// A binary list of `depth` arrays, each holding the next one.
std::string nestedBinary(int depth) {
    std::string bytes = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (int i = 0; i < depth; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
        if (i + 1 < depth) {
            bytes += '\xA1';
            const std::uint32_t next = static_cast<std::uint32_t>(i + 1);
            for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((next >> shift) & 0xff);
        } else {
            bytes += '\xA0';
        }
    }
    const std::uint64_t table = bytes.size();
    for (auto offset : offsets)
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((offset >> shift) & 0xff);
    std::string trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 4;
    auto put = [&](int at, std::uint64_t value) {
        for (int i = 7; i >= 0; --i, value >>= 8) trailer[static_cast<std::size_t>(at + i)] = static_cast<char>(value & 0xff);
    };
    put(8, static_cast<std::uint64_t>(depth));
    put(16, 0);
    put(24, table);
    return bytes + trailer;
}

// A small binary list from its encoded objects (object 0 is the top), with one-byte offsets.
std::string binaryPlist(const std::vector<std::string>& objects) {
    std::string bytes = "bplist00";
    std::string table;
    for (const auto& object : objects) {
        table += static_cast<char>(bytes.size());
        bytes += object;
    }
    std::string trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = static_cast<char>(objects.size());
    trailer[31] = static_cast<char>(bytes.size());
    return bytes + table + trailer;
}

}  // namespace

TEST(PropertyListTest, TextMustBeUtf8) {
    EXPECT_EQ(errorOf(PropertyList::parse(binaryPlist({"\x53" "abc"}))), "");
    EXPECT_EQ(errorOf(PropertyList::parse(binaryPlist({"\x53\xa0" "bc"}))), "string is not valid UTF-8");
    EXPECT_FALSE(PropertyList::parse(std::string_view("<plist><string>&#xD800;</string></plist>")));
    // libplist aborts on a key holding NUL, so such keys never reach it.
    EXPECT_EQ(errorOf(PropertyList::parse(binaryPlist({"\xd1\x01\x02", "\x53" "abc", "\x09"}))), "");
    EXPECT_FALSE(PropertyList::parse(binaryPlist({"\xd1\x01\x02", std::string("\x53" "a\0c", 4), "\x09"})));
    EXPECT_FALSE(PropertyList::parse(binaryPlist({"\xd1\x01\x02", std::string("\x61\0\0", 3), "\x09"})));

    // Text that code built from bad bytes is repaired when written, so the file stays readable.
    const PropertyList bad(PropertyList::Dictionary{{"key\xff", "value\xfe"}});
    auto back = PropertyList::parse(bad.toBinary());
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)["key\uFFFD"].stringOr(), "value\uFFFD");
}

TEST(PropertyListTest, NestingIsCapped) {
    EXPECT_TRUE(PropertyList::parse(nestedXml(100)));
    EXPECT_FALSE(PropertyList::parse(nestedXml(PropertyList::maxDepth + 1)));
    EXPECT_FALSE(PropertyList::parse(nestedXml(100000)));

    EXPECT_EQ(errorOf(PropertyList::parse(nestedBinary(100))), "");
    EXPECT_EQ(errorOf(PropertyList::parse(nestedBinary(100000))), "property list nested too deeply");
}

TEST(PropertyListTest, MalformedInputIsRefused) {
    const auto valid = PropertyList(PropertyList::Dictionary{{"a", PropertyList::Array{1, "x"}}}).toBinary();
    std::string truncated(valid.begin(), valid.end() - 5);
    std::string badTrailer(valid.begin(), valid.end());
    badTrailer[badTrailer.size() - 1] = '\x7f';  // offset table outside the file
    std::string selfReference(valid.begin(), valid.end());

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"text", "hello world"},
        {"unterminated xml", "<?xml version=\"1.0\"?><plist><dict><key>a</key>"},
        {"unknown tag", "<plist><banana/></plist>"},
        {"binary header only", "bplist00"},
        {"truncated binary", truncated},
        {"offset table out of range", badTrailer},
        {"zeros after header", "bplist00" + std::string(64, '\0')},
        {"too large", std::string(PropertyList::maxParseBytes + 1, ' ')},
    };
    for (const auto& c : cases) {
        const auto parsed = PropertyList::parse(c.bytes);
        ASSERT_FALSE(parsed) << c.name;
        EXPECT_EQ(parsed.error().domain, platform::PropertyListErrorDomain) << c.name;
        EXPECT_FALSE(parsed.error().message.empty()) << c.name;
    }
}

TEST(PropertyListTest, SharedObjectsThatExpandTooMuchAreRefused) {
    // Each array holds the next one twice: 40 objects that would expand to 2^40 nodes.
    const int depth = 40;
    std::string bytes = "bplist00";
    std::vector<std::uint8_t> offsets;
    for (int i = 0; i < depth; ++i) {
        offsets.push_back(static_cast<std::uint8_t>(bytes.size()));
        if (i + 1 < depth) {
            bytes += '\xA2';
            bytes += static_cast<char>(i + 1);
            bytes += static_cast<char>(i + 1);
        } else {
            bytes += '\x08';
        }
    }
    const std::size_t table = bytes.size();
    for (auto offset : offsets) bytes += static_cast<char>(offset);
    std::string trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = static_cast<char>(depth);
    trailer[31] = static_cast<char>(table);
    EXPECT_EQ(errorOf(PropertyList::parse(bytes + trailer)), "binary property list expands too much");
}

// GTK sets the process locale; a decimal comma must not change how numbers read or write.
TEST(PropertyListTest, NumbersIgnoreTheProcessLocale) {
    const std::string folder = ::testing::TempDir() + "locales";
    std::filesystem::create_directories(folder);
    const std::string command = "localedef -i de_DE -f UTF-8 " + folder + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "cannot build a German locale here";
    setenv("LOCPATH", folder.c_str(), 1);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "German locale not loadable";

    const PropertyList value(PropertyList::Dictionary{{"alpha", 0.5}, {"big", 1234567.25}});
    const std::string xml = value.toXml();
    auto parsed = PropertyList::parse(xml);
    auto literal = PropertyList::parse(std::string_view("<plist><real>2.25</real></plist>"));
    std::setlocale(LC_ALL, previous.c_str());
    unsetenv("LOCPATH");

    EXPECT_NE(xml.find("<real>0.5</real>"), std::string::npos) << xml;
    ASSERT_TRUE(parsed && literal);
    EXPECT_EQ(*parsed, value);
    EXPECT_EQ(literal->asReal(), 2.25);
}
