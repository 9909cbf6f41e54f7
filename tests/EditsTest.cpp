#include "MigWizard/Edits.h"

#include <gtest/gtest.h>

#include "rtl/SysUtils.h"

using migwiz::TEdits;

TEST(Edits, ApplyCopiesWhatNoEditTouchesAndMapsOffsetsOfTheOriginal) {
  const std::string text = "uses DBTables; var Q: TQuery;";
  TEdits edits;
  EXPECT_EQ(edits.Apply(text), text);
  EXPECT_EQ(edits.MapOffset(7), 7u);
  // Made out of order: the later one first, an insertion, and two that touch.
  edits.Replace(22, 6, "TKyQuery");    // TQuery
  edits.Replace(13, 0, ", KyAccess");  // after DBTables
  edits.Replace(5, 3, "Db");           // "DBT" of DBTables
  edits.Replace(8, 5, "Tables2");      // "ables", touching the one before
  edits.Replace(13, 0, ", ZelMem");    // a second insertion at 13 comes after
  EXPECT_EQ(edits.Apply(text), "uses DbTables2, KyAccess, ZelMem; var Q: TKyQuery;");
  EXPECT_EQ(edits.Count(), 5u);
  // A byte moves with its text; one inside a replaced range lands on its replacement's start.
  EXPECT_EQ(edits.MapOffset(0), 0u);
  EXPECT_EQ(edits.MapOffset(5), 5u);
  EXPECT_EQ(edits.MapOffset(6), 5u);
  EXPECT_EQ(edits.MapOffset(8), 7u);
  EXPECT_EQ(edits.MapOffset(13), 32u);  // the ";" behind both insertions
  EXPECT_EQ(edits.MapOffset(22), 41u);
  EXPECT_EQ(edits.MapOffset(25), 41u);
  EXPECT_EQ(edits.MapOffset(28), 49u);  // the last ";"
  EXPECT_EQ(edits.MapOffset(text.size()), edits.Apply(text).size());
}

TEST(Edits, OverlappingEditsAreRefused) {
  TEdits edits;
  edits.Replace(10, 5, "x");
  EXPECT_THROW(edits.Replace(12, 1, "y"), rtl::EAssertionFailed);  // inside
  EXPECT_THROW(edits.Replace(8, 3, "y"), rtl::EAssertionFailed);   // into it from before
  EXPECT_THROW(edits.Replace(14, 4, "y"), rtl::EAssertionFailed);  // out of it
  EXPECT_THROW(edits.Replace(10, 2, "y"), rtl::EAssertionFailed);  // two from one offset
  EXPECT_THROW(edits.Replace(12, 0, "y"), rtl::EAssertionFailed);  // an insertion inside
  edits.Replace(10, 0, "<");  // before it, and behind it: both touch
  edits.Replace(15, 0, ">");
  EXPECT_EQ(edits.Apply("0123456789abcdefghij"), "0123456789<x>fghij");
  TEdits past;
  past.Replace(30, 0, "z");
  EXPECT_THROW(past.Apply("too short"), rtl::EAssertionFailed);
}
