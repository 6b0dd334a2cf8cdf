#include "GraphemeClusters.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>

namespace tovak {

std::vector<std::string> graphemeClusters(std::string_view utf8, size_t limit) {
    std::vector<std::string> clusters;
    if (utf8.empty() || limit == 0) return clusters;
    // ICU counts in 32-bit indices; nothing this program handles comes near that.
    if (utf8.size() > (1u << 30)) utf8 = utf8.substr(0, 1u << 30);
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !breaks) {
        // Without break rules each code point counts on its own.
        for (int32_t i = 0; i < text.length() && clusters.size() < limit; i = text.moveIndex32(i, 1)) {
            std::string cluster;
            text.tempSubStringBetween(i, text.moveIndex32(i, 1)).toUTF8String(cluster);
            clusters.push_back(std::move(cluster));
        }
        return clusters;
    }
    breaks->setText(text);
    int32_t start = breaks->first();
    for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE && clusters.size() < limit;
         start = end, end = breaks->next()) {
        std::string cluster;
        text.tempSubStringBetween(start, end).toUTF8String(cluster);
        clusters.push_back(std::move(cluster));
    }
    return clusters;
}

}  // namespace tovak
