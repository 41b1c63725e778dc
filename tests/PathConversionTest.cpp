// UTF-16 paths to UTF-8, with the scratch sizing the library uses.
#include "PathConversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quorbix::ConvertPathToNarrow;
using quorbix::IsWellFormedPath;
using quorbix::NarrowPathScratchSize;

// Converts with exactly the scratch that the library allocates.
bool Convert(const std::u16string& path, std::string* out) {
  std::vector<char> scratch(NarrowPathScratchSize(path.size()), 'x');
  const bool ok = ConvertPathToNarrow(path.c_str(), scratch.data(), scratch.size());
  *out = scratch.data();
  return ok;
}

TEST(PathConversion, EncodesEveryLengthOfUtf8) {
  std::string out;
  ASSERT_TRUE(Convert(u"/tmp/a.bmp", &out));
  EXPECT_EQ(out, "/tmp/a.bmp");
  ASSERT_TRUE(Convert(u"caf\u00e9", &out));
  EXPECT_EQ(out, "caf\xC3\xA9");
  // Three bytes per unit, the worst case the scratch must hold.
  ASSERT_TRUE(Convert(u"\u5149\u308b\u753b\u50cf", &out));
  EXPECT_EQ(out, "\xE5\x85\x89\xE3\x82\x8B\xE7\x94\xBB\xE5\x83\x8F");
  ASSERT_TRUE(Convert(u"\U0001F31F", &out));
  EXPECT_EQ(out, "\xF0\x9F\x8C\x9F");
  ASSERT_TRUE(Convert(std::u16string(1000, u'\uFFFF'), &out));
  EXPECT_EQ(out.size(), 3000u);
}

TEST(PathConversion, PathsThatNameNoFile) {
  std::string out;
  EXPECT_FALSE(Convert(u"", &out));
  EXPECT_FALSE(Convert(u"a\xD800", &out));        // high surrogate at the end
  EXPECT_FALSE(Convert(u"a\xD800z", &out));       // high surrogate before a non-low
  EXPECT_FALSE(Convert(u"\xDC00.bmp", &out));     // low surrogate alone
  EXPECT_EQ(out, "");
  char scratch[4] = "xyz";
  EXPECT_FALSE(ConvertPathToNarrow(nullptr, scratch, sizeof scratch));
  EXPECT_EQ(scratch[0], '\0');
  // The check that Windows applies before passing a path on unchanged.
  for (const char16_t* bad : {u"", u"a\xD800", u"a\xD800z", u"\xDC00.bmp", u"\xDC00\xD800"}) {
    EXPECT_FALSE(IsWellFormedPath(bad));
  }
  EXPECT_FALSE(IsWellFormedPath(nullptr));
  EXPECT_TRUE(IsWellFormedPath(u"C:\\caf\u00e9\\\U0001F31F.bmp"));
  // A scratch too small for the path is never overrun.
  EXPECT_FALSE(ConvertPathToNarrow(u"\u5149\u5149\u5149", scratch, sizeof scratch));
}

}  // namespace
