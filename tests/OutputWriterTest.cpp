// The run's writer thread: every queued file written, and a failure raised on the run's thread.
#include "MigWizard/OutputWriter.h"

#include <gtest/gtest.h>

#include <string>

#include "rtl/SysUtils.h"
#include "support/TestUtil.h"

namespace {

TEST(OutputWriter, WritesEveryFileBeforeDrainReturns) {
  testutil::TempDir dir;
  migwiz::TOutputWriter writer(1000);  // small: most writes wait for room
  std::string big(5000, 'x');          // larger than the limit on its own
  for (int i = 0; i < 200; ++i)
    writer.Write(dir / ("f" + std::to_string(i)), i == 100 ? big : "file " + std::to_string(i));
  writer.Drain();
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(testutil::ReadFile(dir / ("f" + std::to_string(i))),
              i == 100 ? big : "file " + std::to_string(i));
}

TEST(OutputWriter, AFailedWriteIsRaisedNamingTheFileAndStopsTheRest) {
  testutil::TempDir dir;
  migwiz::TOutputWriter writer;
  writer.Write(dir / "no/such/folder/Unit1.pas", "unit");
  std::string message;
  try {
    writer.Drain();
  } catch (const rtl::Exception& e) {
    message = e.Message();
  }
  EXPECT_NE(message.find("Unit1.pas"), std::string::npos) << message;
  EXPECT_THROW(writer.Write(dir / "later.pas", "x"), rtl::Exception);
  EXPECT_FALSE(testutil::Exists(dir / "later.pas"));
}

TEST(OutputWriter, DestroyedWithFilesQueuedDropsThemAndLeavesNoHalfFile) {
  testutil::TempDir dir;
  const int queued = 5000;
  {
    migwiz::TOutputWriter writer(size_t(64) << 20);  // room for every file: none waits
    for (int i = 0; i < queued; ++i) writer.Write(dir / ("f" + std::to_string(i)), "data");
  }
  // The destructor does not write out the queue (the run is ending with an error); what was
  // written is whole.
  int written = 0;
  for (int i = 0; i < queued; ++i) {
    const std::string path = dir / ("f" + std::to_string(i));
    if (testutil::Exists(path)) {
      ++written;
      EXPECT_EQ(testutil::ReadFile(path), "data");
    }
  }
  EXPECT_LT(written, queued);
}

}  // namespace
