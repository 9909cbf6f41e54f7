#include <gtest/gtest.h>

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"
#include "support/TestUtil.h"

using rtl::TStringList;

namespace {

struct Tag : rtl::TObject {
  explicit Tag(int* counter) : counter(counter) {}
  ~Tag() override { ++*counter; }
  int* counter;
};

}  // namespace

TEST(StringList, SortedListFindsWithoutCaseAndIgnoresDuplicates) {
  TStringList list(true);
  list.AddInt("TQuery", 1);
  list.AddInt("TDatabase", 0);
  list.AddInt("tquery", 7);  // already held: nothing added
  list.AddInt("EDBEngineError", 8);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], "EDBEngineError");
  EXPECT_EQ(list[2], "TQuery");
  int index = -1;
  ASSERT_TRUE(list.Find("TQUERY", index));
  EXPECT_EQ(list.Integers(index), 1);
  EXPECT_FALSE(list.Find("TTable", index));
  EXPECT_EQ(index, 3);  // where it would go
  EXPECT_EQ(list.IndexOf("tdatabase"), 1);
  EXPECT_EQ(list.IndexOf("Nothing"), -1);
}

TEST(StringList, UnsortedListKeepsOrderDuplicatesAndFindsFirstWithoutCase) {
  TStringList list;
  list.Add("b");
  list.Add("A");
  list.Add("a");
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.IndexOf("a"), 1);
  list.Insert(0, "z");
  EXPECT_EQ(list[0], "z");
  list.Delete(0);
  EXPECT_EQ(list[0], "b");
  EXPECT_THROW(list.Delete(5), rtl::EStringListError);
}

TEST(StringList, NameValueAccessReplacesInPlaceOrAppends) {
  TStringList list;
  list.Add("C:\\a.pas=C:\\b\\a.~pas");
  list.Add("plain line");
  list.Add("X=1=2");
  EXPECT_EQ(list.Values("c:\\A.PAS"), "C:\\b\\a.~pas");
  EXPECT_EQ(list.Values("x"), "1=2");
  EXPECT_EQ(list.Values("plain line"), "");
  EXPECT_EQ(list.Names(1), "");
  list.SetValue("C:\\A.pas", "new");
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], "C:\\A.pas=new");
  list.SetValue("Y", "2");
  EXPECT_EQ(list[3], "Y=2");
}

TEST(StringList, TextJoinsWithCrLfAndSplitsAtEveryLineEnd) {
  TStringList list;
  list.SetText("one\r\ntwo\nthree\rfour\r\n\r\nsix");
  ASSERT_EQ(list.Count(), 6);
  EXPECT_EQ(list[2], "three");
  EXPECT_EQ(list[4], "");
  EXPECT_EQ(list[5], "six");
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n\r\nsix\r\n");
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Text(), "");
  list.SetText("\n");
  EXPECT_EQ(list.Count(), 1);
}

TEST(StringList, OwnedObjectsAreFreedWithTheirEntries) {
  int freed = 0;
  {
    TStringList list;
    list.AddObject("a", std::make_unique<Tag>(&freed));
    list.AddObject("b", std::make_unique<Tag>(&freed));
    list.AddObject("c", std::make_unique<Tag>(&freed));
    list.Delete(0);
    EXPECT_EQ(freed, 1);
    list.SetObject(0, nullptr);
    EXPECT_EQ(freed, 2);
  }
  EXPECT_EQ(freed, 3);
}

TEST(StringList, CustomSortSeesIndicesAndIsStable) {
  TStringList list;
  for (const char* s : {"bb", "a", "ccc", "dd"}) list.Add(s);
  list.CustomSort(
      [](const TStringList& l, int i, int j) { return int(l[i].size()) - int(l[j].size()); });
  EXPECT_EQ(list.Text(), "a\r\nbb\r\ndd\r\nccc\r\n");
}

TEST(StringList, FilesRoundTripAndMissingFileNamesItself) {
  testutil::TempDir dir;
  TStringList list;
  list.Add("x=y");
  list.Add("");
  list.SaveToFile(dir / "list.txt");
  EXPECT_EQ(testutil::ReadFile(dir / "list.txt"), "x=y\r\n\r\n");
  TStringList back;
  back.LoadFromFile(dir / "list.txt");
  EXPECT_EQ(back.Count(), 2);
  try {
    back.LoadFromFile(dir / "missing.txt");
    FAIL();
  } catch (const rtl::EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.txt"), std::string::npos);
  }
}

TEST(Format, FillsTextAndNumbersAndRejectsMismatch) {
  EXPECT_EQ(rtl::Format("%s Migration Wizard - Step %d of %d", {"Kyzel", 2, 5}),
            "Kyzel Migration Wizard - Step 2 of 5");
  EXPECT_EQ(rtl::Format("Undo file \"%s\" does not exist.", {"x.reu"}),
            "Undo file \"x.reu\" does not exist.");
  EXPECT_EQ(rtl::Format("100%%", {}), "100%");
  EXPECT_THROW(rtl::Format("%d", {"text"}), rtl::EConvertError);
  EXPECT_THROW(rtl::Format("%s", {}), rtl::EConvertError);
}
