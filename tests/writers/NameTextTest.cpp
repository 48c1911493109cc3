// Names from model files as the outputs write them: text that every format
// takes and that gives the bytes back.

#include "writers/NameText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace orvex::writers {
namespace {

TEST(NameText, KeepsUtf8AndEscapesEveryOtherByteControlsAndPercent) {
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"props\\crate", "props\\crate"},
        {"", ""},
        {"\xD0\x9C\xD0\xBE\xD0\xB4", "\xD0\x9C\xD0\xBE\xD0\xB4"},  // Cyrillic, as it is
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"caf\xE9", "caf%E9"},                      // Latin-1
        {"\xC3", "%C3"},                            // a sequence cut short
        {"\xE6\xA8x", "%E6%A8x"},
        {"\xC0\xAF", "%C0%AF"},                     // an overlong form
        {"\xED\xA0\x80", "%ED%A0%80"},              // a surrogate
        {"\xF4\x90\x80\x80", "%F4%90%80%80"},       // past U+10FFFF
        {"tab\there\nnew", "tab%09here%0Anew"},
        {std::string("nul\0end", 7), "nul%00end"},
        {"100%", "100%25"},
        {"%41", "%2541"},
        {"\x7F", "%7F"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nameText(c.bytes), c.text);
        EXPECT_EQ(nameBytes(c.text), c.bytes) << c.text;
    }
}

TEST(NameText, GivesEveryNameItsBytesBack) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random() % 256);
        EXPECT_EQ(nameBytes(nameText(bytes)), bytes);
    }
    for (const char* notText : {"%", "%4", "%4G", "%zz", "a%"}) EXPECT_EQ(nameBytes(notText), std::nullopt) << notText;
}

TEST(NameText, TakesTheLastPartOfATextureName) {
    EXPECT_EQ(textureBaseName("props\\crate"), "crate");
    EXPECT_EQ(textureBaseName("a/b\\c"), "c");
    EXPECT_EQ(textureBaseName("crate"), "crate");
    EXPECT_EQ(textureBaseName("props\\"), "");
}

}  // namespace
}  // namespace orvex::writers
