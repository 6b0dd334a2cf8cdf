// The entry of every test program. The tests of one folder build into one program, which ctest
// runs once for each source file with "--source=<file name>": only the tests defined in that file
// run, each file in its own process with its own folders, display and bus, as when it was a
// program of its own. A --gtest_filter given as well narrows that set further.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kSourceFlag = "--source=";

// GoogleTest's pattern syntax: '*' any run of characters, '?' any one.
bool matchesPattern(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p, ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++, starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1, n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool matchesAny(std::string_view patterns, std::string_view name) {
    while (true) {
        const size_t colon = patterns.find(':');
        if (matchesPattern(patterns.substr(0, colon), name)) return true;
        if (colon == std::string_view::npos) return false;
        patterns.remove_prefix(colon + 1);
    }
}

// GoogleTest's filter: "positive[-negative]", an empty positive part meaning every test.
bool selectedBy(std::string_view filter, std::string_view name) {
    const size_t dash = filter.find('-');
    const std::string_view positive = filter.substr(0, dash);
    if (!positive.empty() && !matchesAny(positive, name)) return false;
    return dash == std::string_view::npos || !matchesAny(filter.substr(dash + 1), name);
}

std::string_view fileName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The filter that runs exactly the tests of `source` that `filter` selects; false when the
// program holds no test from that file (a misspelt name must not pass by running nothing).
bool filterForSource(std::string_view source, const std::string& filter, std::string& result) {
    bool found = false;
    result.clear();
    const testing::UnitTest& unitTest = *testing::UnitTest::GetInstance();
    for (int s = 0; s < unitTest.total_test_suite_count(); ++s) {
        const testing::TestSuite& suite = *unitTest.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t) {
            const testing::TestInfo& info = *suite.GetTestInfo(t);
            if (fileName(info.file()) != source) continue;
            found = true;
            const std::string name = std::string(info.test_suite_name()) + "." + info.name();
            if (!selectedBy(filter, name)) continue;
            if (!result.empty()) result += ':';
            result += name;
        }
    }
    // Nothing selected: a filter that matches no test, where an empty one would match all.
    if (result.empty()) result = "-*";
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::string_view source;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with(kSourceFlag)) {
            source = arg.substr(kSourceFlag.size());
        } else {
            std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
            return 2;
        }
    }
    if (!source.empty()) {
        std::string filter;
        if (!filterForSource(source, GTEST_FLAG_GET(filter), filter)) {
            std::fprintf(stderr, "no test of this program comes from %.*s\n", static_cast<int>(source.size()),
                         source.data());
            return 2;
        }
        GTEST_FLAG_SET(filter, filter);
    }
    return RUN_ALL_TESTS();
}
