// The text of a URL handed to another program.
#include <gtest/gtest.h>

#include "foundation/URL.h"

using platform::encodedURIText;

TEST(URLText, CharactersOutsideAURIAreEscapedAndAWellFormedURIStaysAsItIs) {
    const std::pair<const char*, const char*> cases[] = {
        {"https://example.org/a?b=\"c\"", "https://example.org/a?b=%22c%22"},
        {"https://example.org/a b<c>\\d^e`f{g|h}", "https://example.org/a%20b%3Cc%3E%5Cd%5Ee%60f%7Bg%7Ch%7D"},
        {"https://example.org/caf\xc3\xa9", "https://example.org/caf%C3%A9"},
        {"https://example.org/line\nbreak\x7f", "https://example.org/line%0Abreak%7F"},
        // Already escaped, reserved characters and the fragment: unchanged, so escaping twice
        // changes nothing.
        {"https://user@example.org:8443/a%20b;p?q=1&r=[2]#frag!$'()*+,", "https://user@example.org:8443/a%20b;p?q=1&r=[2]#frag!$'()*+,"},
        {"mailto:ann@example.org?subject=Sub%20%26%20ject", "mailto:ann@example.org?subject=Sub%20%26%20ject"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(encodedURIText(text), expected) << text;
        EXPECT_EQ(encodedURIText(expected), expected) << expected;
    }
}
