// Inputs that once broke a conversion, replayed through the ordinary code paths: each either
// converts and round-trips, or is refused with an error, never a crash. Every input is taken as
// the fuzz targets take it: as a binary form stream, as a form file and as a unit.
#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MigWizard/Replacer.h"
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"
#include "support/FileWork.h"
#include "support/FormAccepted.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;

namespace {

// The kept inputs, name and bytes.
std::vector<std::pair<std::string, std::string>> KeptInputs() {
  std::vector<std::pair<std::string, std::string>> inputs;
  for (const auto& entry :
       fs::directory_iterator(testutil::SourcePath("tests/data/fuzz-regressions"))) {
    const std::string name = entry.path().filename().string();
    if (name.front() == '.') continue;  // .gitattributes
    inputs.emplace_back(name, testutil::ReadFile(entry.path().string()));
  }
  EXPECT_FALSE(inputs.empty());
  return inputs;
}

// Runs one conversion: an error of the engine's own kind is a sound answer (true: converted);
// a failed assertion or any other exception is a fault.
bool Converts(const std::string& name, const std::function<void()>& convert) {
  try {
    convert();
    return true;
  } catch (const rtl::EAssertionFailed& e) {
    ADD_FAILURE() << name << ": " << e.what();
  } catch (const rtl::Exception&) {
  } catch (const std::exception& e) {
    ADD_FAILURE() << name << ": " << e.what();
  }
  return false;
}

}  // namespace

TEST(FuzzRegressions, EveryKeptStreamConvertsBackOrIsRefused) {
  for (const auto& [name, bytes] : KeptInputs()) {
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
  }
}

// As a form, an accepted text stays accepted once converted; as a unit, a converted unit is
// left as it is by a second conversion.
TEST(FuzzRegressions, EveryKeptInputConvertsAsFormAndUnitOrIsRefused) {
  migwiz::TReplaceOptions options(ky::kSourceName);
  const std::unique_ptr<migwiz::TComponentReplacer> replacer = ky::CreateReplacer(&options);
  testutil::TempDir dir;
  const std::string formOut = dir / "Out.dfm", unitPath = dir / "Fuzz.pas",
                    unitOut = dir / "Out.pas", unitAgain = dir / "Again.pas";
  for (const auto& input : KeptInputs()) {
    const std::string& name = input.first;
    const std::string& bytes = input.second;
    std::error_code ec;
    for (const std::string& path : {formOut, unitOut, unitAgain}) fs::remove(path, ec);

    migwiz::TFormSource form;
    if (Converts(name, [&] { form = migwiz::ReadForm(bytes, name); }) &&
        Converts(name,
                 [&] {
                   testutil::ProcessForm(*replacer, form.Text, formOut, form.Encoding, form.Binary,
                                         form.RCData);
                 }) &&
        testutil::Exists(formOut) && testutil::FormTextAccepted(form.Text)) {
      migwiz::TFormSource converted;
      ASSERT_NO_THROW(converted = migwiz::ReadForm(rtl::ReadFileBytes(formOut), formOut)) << name;
      EXPECT_TRUE(testutil::FormTextAccepted(converted.Text)) << name << ":\n" << converted.Text;
    }

    migwiz::TSourceText unit;
    if (Converts(name, [&] { unit = migwiz::ReadSourceText(bytes, name); }) &&
        Converts(name,
                 [&] {
                   testutil::ProcessUnit(*replacer, unit.Text, unitPath, unit.Encoding, unitOut);
                 }) &&
        testutil::Exists(unitOut)) {
      const migwiz::TSourceText converted =
          migwiz::ReadSourceText(rtl::ReadFileBytes(unitOut), unitOut);
      testutil::ProcessUnit(*replacer, converted.Text, unitPath, converted.Encoding, unitAgain);
      EXPECT_FALSE(testutil::Exists(unitAgain)) << name;
    }
  }
}
