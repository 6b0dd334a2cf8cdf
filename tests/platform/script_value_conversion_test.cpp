// Page values as the native side receives them: what converts, what is refused whole, and the
// bounds that keep a hostile page from exhausting memory or stack.
#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include <string>

#include "web/ScriptValueConversion.h"

using platform::ScriptValue;
using platform::ScriptValueLimits;
using platform::scriptValueFromJSC;
using platform::scriptValueFromJSON;

namespace {

// A value made by JavaScript itself (functions, dates and cycles have no JSON form).
std::optional<ScriptValue> fromScript(const char* expression, const ScriptValueLimits& limits = {}) {
    JSCContext* context = jsc_context_new();
    JSCValue* value = jsc_context_evaluate(context, expression, -1);
    auto converted = scriptValueFromJSC(value, limits);
    g_object_unref(value);
    g_object_unref(context);
    return converted;
}

ScriptValue dictionary(std::initializer_list<std::pair<const char*, ScriptValue>> entries) {
    ScriptValue result = ScriptValue::dictionary();
    for (const auto& [key, value] : entries) result.set(key, value);
    return result;
}

}  // namespace

TEST(ScriptValueConversionTest, PlainValuesConvert) {
    struct Case {
        const char* json;
        ScriptValue expected;
    } cases[] = {
        {"null", ScriptValue()},
        {"true", ScriptValue(true)},
        {"42", ScriptValue(42)},
        {"-7", ScriptValue(-7)},
        {"2.5", ScriptValue(2.5)},
        {"1e300", ScriptValue(1e300)},
        {"9007199254740993", ScriptValue(std::int64_t{9007199254740992})},  // a double's precision
        {"\"a \\\"quoted\\\" \\u2028 text\"", ScriptValue("a \"quoted\" \u2028 text")},
        {"\"a\\u0000b\"", ScriptValue(std::string("a\0b", 3))},  // the whole text, past its NUL
        {"[1,\"x\",[null]]", ScriptValue(ScriptValue::Array{1, "x", ScriptValue(ScriptValue::Array{ScriptValue()})})},
        {"{\"id\":\"7\",\"n\":{\"deep\":false}}", dictionary({{"id", "7"}, {"n", dictionary({{"deep", false}})}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        auto value = scriptValueFromJSON(c.json);
        ASSERT_TRUE(value);
        EXPECT_EQ(*value, c.expected);
    }
    EXPECT_FALSE(scriptValueFromJSON("{not json"));
    // The context the JSON is read in is used again: nothing of one value spoils the next.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(scriptValueFromJSON("{\"a\":{\"b\":[1]}}")) << i;
    // Undefined is null; the largest integer below 2^63 stays exact in a double only up to 2^53,
    // and 2^63 itself does not fit: a real.
    EXPECT_EQ(fromScript("undefined"), ScriptValue());
    EXPECT_EQ(fromScript("Math.pow(2, 63)")->type(), ScriptValue::Type::real);
    EXPECT_EQ(fromScript("-Math.pow(2, 63)")->type(), ScriptValue::Type::integer);
}

TEST(ScriptValueConversionTest, ValuesWithoutANativeFormAreRefusedWhole) {
    for (const char* expression :
         {"(function () {})", "Symbol('s')", "10n", "new Date()", "/x/", "new Map()", "new Set()", "new Error('e')",
          "new Uint8Array(4)", "new ArrayBuffer(8)", "({ok: 1, bad: function () {}})", "[1, 2, new Date()]",
          "(function () { var a = {}; a.self = a; return a; })()"}) {
        SCOPED_TRACE(expression);
        EXPECT_FALSE(fromScript(expression));
    }
}

TEST(ScriptValueConversionTest, LimitsBoundDepthCountAndStringBytes) {
    ScriptValueLimits limits;
    limits.maxDepth = 4;
    limits.maxNodes = 10;
    limits.maxStringBytes = 16;
    EXPECT_TRUE(scriptValueFromJSON("[[[[1]]]]", limits));
    EXPECT_FALSE(scriptValueFromJSON("[[[[[1]]]]]", limits));
    EXPECT_TRUE(scriptValueFromJSON("[1,2,3,4,5,6,7,8,9]", limits));
    EXPECT_FALSE(scriptValueFromJSON("[1,2,3,4,5,6,7,8,9,10]", limits));
    EXPECT_TRUE(scriptValueFromJSON("\"sixteen bytes!!!\"", limits));
    EXPECT_FALSE(scriptValueFromJSON("\"seventeen bytes!!\"", limits));
    // Keys count against the string budget too, and multi-byte text by its UTF-8 size.
    EXPECT_FALSE(scriptValueFromJSON("{\"twelve bytes\":\"abcdef\"}", limits));
    EXPECT_FALSE(scriptValueFromJSON("\"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\"", limits));

    // The default bounds: a deep structure from a hostile page, and a huge array, are refused.
    std::string deep(100000, '[');
    deep += std::string(100000, ']');
    EXPECT_FALSE(scriptValueFromJSON(deep));
    EXPECT_FALSE(fromScript("new Array(300000).fill(0)"));
    // A long string is fine within its budget: pages hand whole files over.
    auto big = fromScript("'x'.repeat(8 * 1024 * 1024)");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->asString()->size(), 8u * 1024 * 1024);
}

TEST(ScriptValueConversionTest, DescriptionsAreShortJSONLikeText) {
    EXPECT_EQ(platform::describeScriptValue(ScriptValue("plain text")), "plain text");
    EXPECT_EQ(platform::describeScriptValue(*scriptValueFromJSON("{\"a\":[1,2.5,\"q\\\"\"],\"b\":null}")),
              "{\"a\":[1,2.5,\"q\\\"\"],\"b\":null}");
    const std::string cut = platform::describeScriptValue(ScriptValue(std::string(100, 'x')), 10);
    EXPECT_EQ(cut, std::string(10, 'x') + "…");
}
