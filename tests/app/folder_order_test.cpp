// The folders of app/ are layered (docs/architecture.md): a folder includes only itself and the
// folders below it. The checks read the sources as they are, no build needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

// The order, from the bottom. Folders on one level may include each other.
const std::map<std::string, int> kLevel = {
    {"settings", 0},                                                 // the model
    {"config", 1},        {"controls", 1},                           // the configuration, the widgets
    {"notifications", 2}, {"media", 2}, {"privacy", 2}, {"web", 2},  // the features
    {"shell", 3},         {"preferences", 3},                        // what builds and wires them
};

// The folder and the rest of a line `#include "folder/rest"`, none for any other line.
std::optional<std::pair<std::string, std::string>> quotedInclude(std::string_view line) {
    const auto skipBlanks = [&line] {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    };
    skipBlanks();
    if (!line.starts_with('#')) return std::nullopt;
    line.remove_prefix(1);
    skipBlanks();
    if (!line.starts_with("include")) return std::nullopt;
    line.remove_prefix(7);
    skipBlanks();
    if (!line.starts_with('"')) return std::nullopt;
    line.remove_prefix(1);
    const auto slash = line.find('/');
    const auto end = line.find('"');
    if (slash == 0 || slash == std::string_view::npos || end == std::string_view::npos || slash > end) return std::nullopt;
    return std::pair{std::string(line.substr(0, slash)), std::string(line.substr(slash + 1, end - slash - 1))};
}

// Every include of the form "folder/file" that names a file in `root`'s folders (so not the
// platform's "web/..." or "media/..."), from a folder below it. One line per violation:
// "app/settings/Trellik.cpp:33: settings includes shell/TrellikStatusItem.h, a folder above it".
std::vector<std::string> upwardIncludes(const fs::path& root, std::vector<std::string>* unplacedFolders = nullptr) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto extension = entry.path().extension();
        if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
        const fs::path relative = entry.path().lexically_relative(root);
        if (relative.begin() == relative.end() || std::next(relative.begin()) == relative.end()) continue;
        const std::string from = relative.begin()->string();
        const auto fromLevel = kLevel.find(from);
        if (fromLevel == kLevel.end()) {
            if (unplacedFolders) unplacedFolders->push_back(from);
            continue;
        }
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            const auto include = quotedInclude(line);
            if (!include) continue;
            const auto& [to, file] = *include;
            const auto toLevel = kLevel.find(to);
            if (toLevel == kLevel.end() || !fs::exists(root / to / file)) continue;
            if (toLevel->second <= fromLevel->second) continue;
            const std::string target = to + "/" + file;
            found.push_back("app/" + relative.string() + ":" + std::to_string(number) + ": " + from + " includes " +
                            target + ", a folder above it");
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

TEST(FolderOrder, NoFolderOfTheProgramIncludesAFolderAboveIt) {
    std::vector<std::string> unplaced;
    const auto found = upwardIncludes(fs::path(PARLIVO_SOURCE_DIR) / "app", &unplaced);
    for (const auto& violation : found)
        ADD_FAILURE() << violation
                      << "\n  A folder includes only itself and those below it: settings < config, controls < "
                         "notifications, media, privacy, web < shell, preferences. A lower folder reaches a higher "
                         "one through an interface it declares, which the higher one implements and hands down.";
    std::sort(unplaced.begin(), unplaced.end());
    unplaced.erase(std::unique(unplaced.begin(), unplaced.end()), unplaced.end());
    for (const auto& folder : unplaced)
        ADD_FAILURE() << "app/" << folder << "/ has sources but no place in the folder order; add it to kLevel here and "
                      << "to docs/architecture.md";
}

// The check itself: an upward include is reported with its file, line and both folders; one
// sideways or down is not, and neither is a "web/..." that names no file of the program's web/.
TEST(FolderOrder, TheCheckNamesFileLineAndFolders) {
    const fs::path root = fs::temp_directory_path() / "folder-order";
    fs::remove_all(root);
    for (const char* folder : {"settings", "web", "media", "shell", "resources"}) fs::create_directories(root / folder);
    testsupport::writeFile(root / "shell/Window.h", "#pragma once\n");
    testsupport::writeFile(root / "media/Player.h", "#pragma once\n");
    testsupport::writeFile(root / "settings/Model.cpp",
                           "#include \"settings/Model.h\"\n\n  #  include \"shell/Window.h\"\n#include \"web/WebView.h\"\n");
    testsupport::writeFile(root / "web/Page.cpp", "#include \"media/Player.h\"\n#include \"settings/Model.h\"\n");
    testsupport::writeFile(root / "resources/Data.cpp", "#include \"shell/Window.h\"\n");
    std::vector<std::string> unplaced;
    EXPECT_EQ(upwardIncludes(root, &unplaced),
              std::vector<std::string>{"app/settings/Model.cpp:3: settings includes shell/Window.h, a folder above it"});
    EXPECT_EQ(unplaced, std::vector<std::string>{"resources"});
    fs::remove_all(root);
}

// app/ and platform/ both have a web/ and a media/ folder, and both are include roots, so
// "web/WebView.h" finds whichever root holds that file. That is unambiguous only while no file
// name is in both: one in app/ would silently hide the platform's from the program.
TEST(FolderOrder, NoFileOfTheProgramHidesOneOfThePlatformUnderTheSameIncludePath) {
    const fs::path app = fs::path(PARLIVO_SOURCE_DIR) / "app";
    const fs::path platform = fs::path(PARLIVO_SOURCE_DIR) / "platform";
    for (const auto& folder : fs::directory_iterator(platform)) {
        if (!folder.is_directory() || !fs::is_directory(app / folder.path().filename())) continue;
        for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
            const fs::path relative = entry.path().lexically_relative(platform);
            if (entry.is_regular_file() && fs::exists(app / relative))
                ADD_FAILURE() << "app/" << relative.string() << " and platform/" << relative.string()
                              << " are both \"" << relative.string() << "\" to the compiler; rename the program's";
        }
    }
}
