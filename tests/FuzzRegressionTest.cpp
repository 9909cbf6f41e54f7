// Inputs that once broke a conversion, replayed through the ordinary code paths: each either
// converts and round-trips, or is refused with an error, never a crash.
#include <gtest/gtest.h>

#include <filesystem>

#include "MigWizard/Replacer.h"
#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;

TEST(FuzzRegressions, EveryKeptInputConvertsBackOrIsRefused) {
  int replayed = 0;
  for (const auto& entry :
       fs::directory_iterator(testutil::SourcePath("tests/data/fuzz-regressions"))) {
    const std::string bytes = testutil::ReadFile(entry.path().string());
    const std::string name = entry.path().filename().string();
    ++replayed;
    rtl::TMemoryStream in(bytes);
    std::string text;
    try {
      rtl::ObjectBinaryToText(in, text);
    } catch (const rtl::Exception&) {
      continue;
    }
    rtl::TMemoryStream binary;
    ASSERT_NO_THROW(rtl::ObjectTextToBinary(text, binary)) << name;
    binary.Seek(0);
    std::string again;
    ASSERT_NO_THROW(rtl::ObjectBinaryToText(binary, again)) << name;
    EXPECT_EQ(again, text) << name;

    rtl::TMemoryStream form(bytes);
    try {
      migwiz::ReadForm(form, name);
    } catch (const rtl::Exception&) {
    }
  }
  EXPECT_GT(replayed, 0);
}
