// Host strings as plug-ins meet them: char text in the locale's encoding
// (the process code page on Windows), and from the 2011 API on, UTF-8 and
// wide forms that hold every character whatever the locale.

#include <maya/MString.h>
#include <maya/MTypes.h>

#include <gtest/gtest.h>

#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

#if MAYA_API_VERSION >= 201100
TEST(StringTest, HoldsEveryCharacterInItsUtf8AndWideForms) {
    const struct {
        const char* utf8;
        const wchar_t* wide;
    } cases[] = {
        {"", L""},
        {"plain", L"plain"},
        {"\xD0\x9C caf\xC3\xA9", L"\u041C caf\u00E9"},
        {"\xF0\x9F\x98\x80", L"\U0001F600"},
        // Each ill-formed part is one replacement character.
        {"a\xFF" "b", L"a\uFFFD" "b"},
        {"\xC3", L"\uFFFD"},
        {"\xE6\xA8" "x", L"\uFFFD" "x"},
    };
    for (const auto& c : cases) {
        MString text;
        EXPECT_EQ(text.setUTF8(c.utf8), MStatus::kSuccess);
        EXPECT_STREQ(text.asUTF8(), c.utf8);
        EXPECT_EQ(std::wstring(text.asWChar()), std::wstring(c.wide)) << c.utf8;
    }
}
#endif

TEST(StringTest, TakesAndGivesCharTextInTheLocaleEncoding) {
#if defined(_WIN32)
    if (GetACP() != 1252) GTEST_SKIP() << "the expected texts are those of code page 1252, not " << GetACP();
    const MString cafe("caf\xE9");
#if MAYA_API_VERSION >= 201100
    EXPECT_STREQ(cafe.asUTF8(), "caf\xC3\xA9");
    MString cyrillic;
    cyrillic.setUTF8("\xD0\x9C caf\xC3\xA9");
    // The code page has no Cyrillic.
    EXPECT_STREQ(cyrillic.asChar(), "? caf\xE9");
#endif
    EXPECT_STREQ(cafe.asChar(), "caf\xE9");
    EXPECT_TRUE(cafe == "caf\xE9");
#else
    // Bytes pass unchanged, also those that form no UTF-8.
    for (const char* bytes : {"caf\xC3\xA9", "caf\xE9", "\xFF\xFE"}) {
        const MString text(bytes);
        EXPECT_STREQ(text.asChar(), bytes);
#if MAYA_API_VERSION >= 201100
        EXPECT_STREQ(text.asUTF8(), bytes);
#endif
    }
#endif
}

}  // namespace
