#include <gtest/gtest.h>

#include "platform/Codepage.h"
#include "platform/IProfileStore.h"
#include "platform/MulDiv.h"

namespace cp = platform::cp932;

TEST(Codepage, RoundTripsAndReportsInvalidBytes) {
  const struct {
    const char* name;
    std::string cp932;
    std::string utf8;
    std::size_t invalid;
  } kCases[] = {
      {"ascii", "533946", "533946", 0},
      {"kanji", "\x93\x8C\x8B\x9E", "東京", 0},
      {"backslash stays", "C:\\map", "C:\\map", 0},
      {"nec extension", "\x87\x40", "①", 0},
      {"half-width kana", "\xB1", "ｱ", 0},
      {"lone lead byte at end", "A\x93", "A\xEF\xBF\xBD", 1},
      {"invalid trail", "\x81\x20X", "\xEF\xBF\xBDX", 1},
      {"undefined byte", "\xA0", "\xEF\xBF\xBD", 1},
      {"nul kept", std::string("a\0b", 3), std::string("a\0b", 3), 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto r = cp::toUtf8(c.cp932);
    EXPECT_EQ(r.text, c.utf8);
    EXPECT_EQ(r.invalid, c.invalid);
    if (c.invalid == 0) {
      EXPECT_EQ(cp::fromUtf8(c.utf8).text, c.cp932);
    }
  }
}

TEST(Codepage, TextWithoutCp932FormIsReported) {
  EXPECT_TRUE(cp::representable("北アルプス 槍ヶ岳"));
  EXPECT_FALSE(cp::representable("😀"));
  EXPECT_FALSE(cp::representable("\xC3"));  // broken UTF-8
  const auto r = cp::fromUtf8("a😀b");
  EXPECT_EQ(r.text, "a?b");
  EXPECT_EQ(r.invalid, 1u);
}

TEST(Codepage, FindRespectsCharacterBoundaries) {
  // "ー" is 81 5B; a search for "[" (5B) must not match its trail byte.
  const std::string hay = "\x81\x5B[";
  EXPECT_EQ(cp::find(hay, "["), 2u);
  EXPECT_EQ(cp::find("abc", "x"), std::string::npos);
  EXPECT_EQ(cp::find("abcabc", "bc", 2), 4u);
}

TEST(MulDiv, RoundsHalfAwayFromZero) {
  EXPECT_EQ(platform::mulDiv(10, 3, 4), 8);    // 7.5 -> 8
  EXPECT_EQ(platform::mulDiv(-10, 3, 4), -8);  // -7.5 -> -8
  EXPECT_EQ(platform::mulDiv(7, 1, 0), -1);
  EXPECT_EQ(platform::mulDiv(0x7FFFFFFF, 2, 2), 0x7FFFFFFF);
}

TEST(ProfileInt, ParsesOnlyWholeNumbers) {
  const struct {
    const char* text;
    std::optional<std::int32_t> want;
  } kCases[] = {{"200", 200}, {"-1", -1}, {"0x10", 16}, {" 5 ", 5}, {"abc", std::nullopt},
                {"12abc", std::nullopt}, {"", std::nullopt}, {"99999999999", std::nullopt},
                {"4294967295", -1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(platform::parseProfileInt(c.text), c.want);
  }
}
