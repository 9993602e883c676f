#include "model/latin1.h"

#include <gtest/gtest.h>

// Every Latin-1 byte goes to UTF-8 and back unchanged; what Latin-1 cannot
// hold, or what is not UTF-8, is refused, or made '?' where a name must be
// found anyway (from a file name).
TEST(Latin1, ConvertsBothWaysAndRefusesWhatItCannotHold)
{
    for (int byte = 0; byte < 256; ++byte) {
        const std::string latin1(1, static_cast<char>(byte));
        EXPECT_EQ(latin1FromUtf8(utf8FromLatin1(latin1)), latin1) << byte;
    }
    EXPECT_EQ(utf8FromLatin1("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(latin1FromUtf8("\xC3\x83\xC2\xA9"), "\xC3\xA9");

    for (const char* refused : {"\xE2\x82\xAC", "caf\xE9", "\xC0\xAF", "\xED\xA0\x80", "\xC3", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(latin1FromUtf8(refused).has_value()) << refused;
    EXPECT_EQ(latin1FromUtf8Lossy("a\xE2\x82\xAC"
                                  "b\xFF"),
              "a?b?");
}
