#include <gtest/gtest.h>

#include "platform/frame/KIVOCompressedStringTable.h"
#include "platform/frame/KIVODataType.h"
#include "platform/frame/KIVOMemDescriptor.h"

using Entry = KIVODescriptor::AttribEntry;

TEST(FrameDataType, StorageSizesAndFallback) {
    using namespace KIVODataType;
    EXPECT_EQ(storageSize(FLOAT, 0), 4u);
    EXPECT_EQ(storageSize(DOUBLE, 0), 8u);
    EXPECT_EQ(storageSize(USHORT, 0), 2u);
    EXPECT_EQ(storageSize(SHORT, 0), 2u);
    EXPECT_EQ(storageSize(LONG, 0), 4u);
    EXPECT_EQ(storageSize(ULONG, 0), 4u);
    EXPECT_EQ(storageSize(STRING, 0), 2u);
    EXPECT_EQ(storageSize(UCHAR, 0), 1u);
    EXPECT_EQ(storageSize(TEXT, 10), 11u);
    EXPECT_EQ(storageSize(DATETIME, 0), 8u);
    EXPECT_EQ(storageSize(DATE, 0), 8u);
    EXPECT_EQ(storageSize(TIME, 0), 8u);
    EXPECT_EQ(fromInt(7), UCHAR);
    EXPECT_EQ(fromInt(12), DOUBLE);
    EXPECT_EQ(fromInt(-1), DOUBLE);
}

TEST(FrameStringTable, AppendFindGetSetReset) {
    KIVOCompressedStringTable t;
    EXPECT_EQ(t.getNumberOfStrings(), 0);
    EXPECT_EQ(t.append("Fine"), 0);
    EXPECT_EQ(t.append("Coarse"), 1);
    EXPECT_EQ(t.append("Fine"), 0);  // present: its index, no second copy
    EXPECT_EQ(t.getNumberOfStrings(), 2);
    EXPECT_EQ(t.getIndexOfString("Coarse"), 1);
    EXPECT_EQ(t.getIndexOfString("coarse"), KIVOCompressedStringTable::kInvalidIndex);
    NORVAUString s;
    EXPECT_EQ(t.getString(1, s), 0);
    EXPECT_EQ(s, NORVAUString("Coarse"));
    EXPECT_EQ(t.getString(2, s), -1);
    EXPECT_EQ(s, NORVAUString("Coarse"));
    EXPECT_EQ(t.setString(1, "Medium"), 0);
    EXPECT_EQ(t.setString(5, "X"), -1);
    auto copy = t.newCopy();
    t.reset();
    EXPECT_EQ(t.getNumberOfStrings(), 0);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->getNumberOfStrings(), 2);
    EXPECT_EQ(copy->getString(1, s), 0);
    EXPECT_EQ(s, NORVAUString("Medium"));
    EXPECT_EQ(copy->getIndexOfString("Medium"), 1);
    EXPECT_EQ(copy->getIndexOfString("Coarse"), KIVOCompressedStringTable::kInvalidIndex);
    // Renaming to an existing string: lookups give the first index.
    EXPECT_EQ(copy->setString(1, "Fine"), 0);
    EXPECT_EQ(copy->getIndexOfString("Fine"), 0);
    EXPECT_EQ(copy->setString(0, "Other"), 0);
    EXPECT_EQ(copy->getIndexOfString("Fine"), 1);
}

TEST(FrameStringTable, FullTableRefusesNewStrings) {
    KIVOCompressedStringTable t;
    for (int i = 0; i < 0xFFFF; ++i) ASSERT_EQ(t.append(NORVAUString::formatLong(i)), i);
    EXPECT_EQ(t.getNumberOfStrings(), 0xFFFF);
    EXPECT_EQ(t.append("one more"), KIVOCompressedStringTable::kInvalidIndex);
    EXPECT_EQ(t.append("17"), 17);
}

TEST(FrameAttribEntry, ClearAndEquality) {
    Entry e("Depth", KIVODataType::FLOAT);
    e.modName = "Depth_Mod";
    e.modIndex = 3;
    e.offset = 8;
    e.length = 4;
    e.trueXName = "X";
    e.trueXIndex = 1;
    e.trueYName = "Y";
    e.trueYIndex = 2;
    e.unitKey = "m";
    e.unitDirection = "DEPTH";
    e.kind = 1;
    e.extra = "x";
    Entry copy = e;
    EXPECT_TRUE(copy == e);
    copy.kind = 0;
    EXPECT_FALSE(copy == e);
    e.clear();
    EXPECT_TRUE(e.name.isEmpty());
    EXPECT_TRUE(e.modName.isEmpty() && e.trueXName.isEmpty() && e.trueYName.isEmpty());
    EXPECT_TRUE(e.unitKey.isEmpty() && e.unitDirection.isEmpty() && e.extra.isEmpty());
    EXPECT_EQ(e.modIndex, -1);
    EXPECT_EQ(e.trueXIndex, -1);
    EXPECT_EQ(e.trueYIndex, -1);
    EXPECT_EQ(e.offset, 0u);
    EXPECT_EQ(e.length, 0u);
    EXPECT_EQ(e.kind, 0);
}

namespace {
KIVOMemDescriptor sample() {
    Entry depth("Depth", KIVODataType::FLOAT);
    depth.unitDirection = "DEPTH";
    depth.modName = "Depth_Edit";
    Entry count("Count", KIVODataType::USHORT);
    Entry label("Label", KIVODataType::TEXT);
    label.length = 10;
    Entry edit("Depth_Edit", KIVODataType::DOUBLE);
    Entry status("Status", KIVODataType::LONG);
    status.trueXName = "Depth";
    return KIVOMemDescriptor({depth, count, label, edit, status});
}
}  // namespace

TEST(FrameMemDescriptor, OffsetsLengthsAndIndices) {
    KIVOMemDescriptor d = sample();
    ASSERT_EQ(d.getNumberOfAttributes(), 5);
    EXPECT_EQ(d.getNumberOfPersistent(), 5);
    // float 4, ushort 2, text 10 + 1, double 8, long 4
    EXPECT_EQ(d.getOffset(0), 0u);
    EXPECT_EQ(d.getOffset(1), 4u);
    EXPECT_EQ(d.getOffset(2), 6u);
    EXPECT_EQ(d.getOffset(3), 17u);
    EXPECT_EQ(d.getOffset(4), 25u);
    EXPECT_EQ(d.getDataSize(), 29u);
    EXPECT_EQ(d.getAllDataSize(), 29u);
    EXPECT_EQ(d.getLength(0), 4u);
    EXPECT_EQ(d.getLength(2), 10u);  // the text's characters
    EXPECT_EQ(d.getAttributeIndex("Label"), 2);
    EXPECT_EQ(d.getAttributeIndex("label"), -1);
    EXPECT_EQ(d.getAttributeIndex("Dep"), -1);
    EXPECT_EQ(d.getAttributeName(3), NORVAUString("Depth_Edit"));
    EXPECT_EQ(d.getAttributeType(1), KIVODataType::USHORT);
    EXPECT_EQ(d.getModAttributeIndex(0), 3);
    EXPECT_EQ(d.getModAttribute(0), NORVAUString("Depth_Edit"));
    EXPECT_EQ(d.getModAttributeIndex(1), -1);
    EXPECT_EQ(d.getTrueXAttributeIndex(4), 0);
    EXPECT_EQ(d.getTrueYAttributeIndex(4), -1);
    EXPECT_TRUE(d.getTrueYAttribute(4).isEmpty());
    EXPECT_EQ(d.getUnitDirection(0), NORVAUString("DEPTH"));
    // Out of range: neutral answers, never a crash.
    EXPECT_TRUE(d.getAttributeName(5).isEmpty());
    EXPECT_TRUE(d.getAttributeName(-1).isEmpty());
    EXPECT_EQ(d.getAttributeType(99), KIVODataType::DOUBLE);
    EXPECT_EQ(d.getOffset(99), 0u);
    EXPECT_TRUE(d.getAttributeEntry(99) == Entry());
    EXPECT_EQ(d.getAttributeEntries().size(), 5u);
    EXPECT_TRUE(d.getAttributeEntries()[2] == d.getAttributeEntry(2));
    d.resetModAttribute(0);
    EXPECT_EQ(d.getModAttributeIndex(0), -1);
}

TEST(FrameMemDescriptor, TransientsFollowAndTakeNoStorage) {
    KIVOMemDescriptor d = sample();
    Entry t("Scratch", KIVODataType::DOUBLE);
    EXPECT_EQ(d.addTransient(t), 0);
    EXPECT_EQ(d.addTransient(t), -1);  // the name is taken
    EXPECT_EQ(d.getNumberOfAttributes(), 6);
    EXPECT_EQ(d.getNumberOfPersistent(), 5);
    EXPECT_EQ(d.getAttributeIndex("Scratch"), 5);
    EXPECT_EQ(d.getOffset(5), 0u);
    EXPECT_EQ(d.getDataSize(), 29u);
    // A persistent attribute added later goes before the transients.
    EXPECT_EQ(d.addAttribute(Entry("Weight", KIVODataType::FLOAT)), 5);
    EXPECT_EQ(d.getAttributeIndex("Scratch"), 6);
    EXPECT_EQ(d.getOffset(5), 29u);
    EXPECT_EQ(d.getDataSize(), 33u);
    EXPECT_EQ(d.removeTransient("Depth"), -1);  // persistent
    EXPECT_EQ(d.removeTransient("Nope"), -1);
    EXPECT_EQ(d.removeTransient("Scratch"), 0);
    EXPECT_EQ(d.getNumberOfAttributes(), 6);
    EXPECT_EQ(d.getAttributeIndex("Scratch"), -1);
}

TEST(FrameMemDescriptor, CopiesAreDeepIncludingStringTable) {
    KIVOMemDescriptor d = sample();
    EXPECT_EQ(d.addCompressedString("Survey A"), 0);
    EXPECT_EQ(d.addCompressedString("Survey B"), 1);
    EXPECT_EQ(d.addCompressedString("Survey A"), 0);
    auto copy = d.newCopy();
    KIVOMemDescriptor assigned;
    assigned = d;
    d.addCompressedString("Survey C");
    d.addTransient(Entry("T", KIVODataType::DOUBLE));
    ASSERT_TRUE(copy->getCompressedStringTable());
    EXPECT_EQ(copy->getCompressedStringTable()->getNumberOfStrings(), 2);
    EXPECT_EQ(assigned.getCompressedStringTable()->getNumberOfStrings(), 2);
    EXPECT_EQ(copy->getNumberOfAttributes(), 5);
    EXPECT_EQ(assigned.getNumberOfAttributes(), 5);
    EXPECT_EQ(copy->getOffset(4), 25u);
}

TEST(FrameMemDescriptor, UnknownTypeFallsBackToDouble) {
    KIVOMemDescriptor d({Entry("Odd", 42)});
    EXPECT_EQ(d.getAttributeType(0), KIVODataType::DOUBLE);
    EXPECT_EQ(d.getDataSize(), 8u);
}
