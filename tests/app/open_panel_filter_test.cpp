// What the file chooser lets through for the types a page's file input allows: each type
// identifier spelled out as MIME types and name patterns (in either case), whole kinds as
// "image/*", and no filter where every file fits or nothing could be matched.
#include <gtest/gtest.h>

#include <algorithm>

#include "WQFileType.h"
#include "media/WQOpenPanel.h"

using parlivo::WQOpenPanel;

namespace {

bool has(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

TEST(OpenPanelFilter, SpellsOutEachTypeForTheChooser) {
    struct Case {
        std::string name;
        std::vector<std::string> types;
        bool everything;
        std::vector<std::string> mimeTypes;  // among the filter's
        std::vector<std::string> patterns;   // among the filter's
        std::vector<std::string> notMimeTypes;
        std::string filterName;
    };
    const std::string unknownMIME = tovak::WQFileType::UTIFromMIMEType("application/x-parlivo-test");
    const std::vector<Case> cases{
        {"no types", {}, true, {}, {}, {}, ""},
        {"images", {"public.image"}, false, {"image/*", "image/jpeg", "image/heic"}, {"*.[hH][eE][iI][cC]", "*.[jJ][pP][gG]"},
         {"video/*"}, "Images"},
        {"images and videos", {"public.image", "public.movie"}, false, {"image/*", "video/*", "video/quicktime"},
         {"*.[mM][oO][vV]", "*.3[gG][pP]"}, {"audio/*", "application/pdf"}, "Images and Videos"},
        {"one document type", {"com.adobe.pdf"}, false, {"application/pdf"}, {"*.[pP][dD][fF]"}, {"image/*"},
         "Supported Files"},
        {"a plain extension", {"pdf"}, false, {"application/pdf"}, {"*.[pP][dD][fF]"}, {}, "Supported Files"},
        {"a MIME type outside the table", {unknownMIME}, false, {"application/x-parlivo-test"}, {}, {}, "Supported Files"},
        {"every file fits", {"public.png", "public.data"}, true, {}, {}, {}, ""},
        {"nothing could be matched", {"com.example.unknown", "", " public.jpeg"}, true, {}, {}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto filter = WQOpenPanel::filterFor(c.types);
        EXPECT_EQ(filter.everything, c.everything);
        if (c.everything) {
            EXPECT_TRUE(filter.mimeTypes.empty());
            EXPECT_TRUE(filter.patterns.empty());
            continue;
        }
        for (const auto& mimeType : c.mimeTypes) EXPECT_TRUE(has(filter.mimeTypes, mimeType)) << mimeType;
        for (const auto& pattern : c.patterns) EXPECT_TRUE(has(filter.patterns, pattern)) << pattern;
        for (const auto& mimeType : c.notMimeTypes) EXPECT_FALSE(has(filter.mimeTypes, mimeType)) << mimeType;
        EXPECT_EQ(filter.name, c.filterName);
    }
}
