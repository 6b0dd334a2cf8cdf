// The page's ffmpeg argument lists (here: one element a line, a line starting with "#" as a
// number) are checked without a crash, and every list that passes runs on our two files only:
// the fixed prefix, one input, the output last, and no placeholder left.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "media/FFmpegArgumentPolicy.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using parlivo::FFmpegArgumentPolicy;
    platform::PropertyList::Array parameters;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (true) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (line.starts_with("#"))
            parameters.emplace_back(std::int64_t(line.size()));
        else
            parameters.emplace_back(std::string(line));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    std::string why;
    const auto arguments = FFmpegArgumentPolicy::arguments(parameters, "/in/a.ogg", "/out/b.mp3", 4096, &why);
    if (!arguments) {
        if (why.empty()) std::abort();
        return 0;
    }
    const auto& args = *arguments;
    if (args.size() < 14 || args[7] != "file" || args.back() != "file:/out/b.mp3") std::abort();
    int inputs = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "%i" || args[i] == "%o") std::abort();
        if (args[i] == "-i") {
            ++inputs;
            if (i + 1 >= args.size() || args[i + 1] != "file:/in/a.ogg") std::abort();
        }
        if (args[i].starts_with("file:") && args[i] != "file:/in/a.ogg" && args[i] != "file:/out/b.mp3") std::abort();
    }
    if (inputs != 1) std::abort();
    return 0;
}
