#include "core/text_codec.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(TextCodec, Utf8ValidityIsStrict) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("中文 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xD6\xD0\xCE\xC4"));  // GBK
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // cut short
}

TEST(TextCodec, DisplayTextIsUtf8OrGbk) {
  EXPECT_EQ(DecodeForDisplay("\xD4\xC1" "B12345"), "粤B12345");
  EXPECT_EQ(DecodeForDisplay("粤B12345"), "粤B12345");
  EXPECT_EQ(GbkToUtf8("\x80"), "€");
  // A byte that starts no GBK character, and a lead byte at the very end.
  EXPECT_EQ(GbkToUtf8("a\xFF" "b\xD6"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(TruncateUtf8("a中b", 2), "a中");
  EXPECT_EQ(TruncateUtf8("a中b", 9), "a中b");
}

}  // namespace
}  // namespace corvane
