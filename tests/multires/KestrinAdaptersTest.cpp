#include <gtest/gtest.h>

#include <cfloat>
#include <climits>

#include "KestrinSurfaceTestSupport.h"
#include "multires/KIVOKestrinAttributeSet.h"
#include "multires/KIVOKestrinDescriptor.h"
#include "multires/KestrinRecords.h"
#include "multires/KestrinRTreeEntry.h"
#include "multires/KestrinStringTableWrapper.h"
#include "multires/KestrinXMLMetaData.h"
#include "platform/kestrin/KestrinStoreType.h"

namespace {

using namespace kestrinsurface;

// A surface with one stored node of a float, a double, a short and a long.
class StoredNode : public ::testing::Test {
protected:
    void SetUp() override {
        io = created("", {Entry("F", KIVODataType::FLOAT), Entry("D", KIVODataType::DOUBLE),
                          Entry("S", KIVODataType::SHORT), Entry("L", KIVODataType::LONG)},
                     1.0);
        forEachNode(*io, 1, 1, 1, 1, true, [](KIVOSurfaceIter& it) { it.getAttributes()->setValue(1, -2.7); });
        ASSERT_EQ(0, io->flush());
    }
    std::unique_ptr<KIVOKestrinAttributeSet> node() {
        std::unique_ptr<KIVOKestrinAttributeSet> set;
        forEachNode(*io, 0, 0, 5, 5, false, [&](KIVOSurfaceIter& it) {
            set.reset(static_cast<KIVOKestrinAttributeSet*>(it.getAttributes()->newCopy().release()));
        });
        return set;
    }
    std::unique_ptr<KIVOKestrinDataIO> io;
};

TEST_F(StoredNode, EditsMustUseTheFieldsOwnTypeAndReachTheStoreAtOnce) {
    auto set = node();
    ASSERT_TRUE(set);
    EXPECT_EQ(-1, set->setValue(1, 3.5f));  // float into a double field
    double d = 0;
    node()->getValue(1, d);
    EXPECT_EQ(-2.7, d);
    EXPECT_EQ(0, set->setValue(0, 3.5f));
    float f = 0;
    node()->getValue(0, f);
    EXPECT_EQ(3.5f, f);
    EXPECT_EQ(-1, set->setValue(3, 5000000000L));  // beyond the 32-bit field
    EXPECT_EQ(-1, set->setValue(9, 1.0));
    KIVOKestrinAttributeSet detached(set->getPoint(), nullptr);
    EXPECT_EQ(-1, detached.setValue(0, 1.0f));
    EXPECT_TRUE(detached.isSet(0));
    EXPECT_FALSE(detached.isEmpty());
    EXPECT_TRUE(detached.reset());
}

TEST_F(StoredNode, ADetachedCopyIsEditedOnItsOwn) {
    auto set = node();
    ASSERT_TRUE(set);
    std::unique_ptr<KIVOAttributeSet> copy = set->detachedCopy();
    EXPECT_EQ(0, copy->setValue(0, 9.5f));
    EXPECT_EQ(-1, copy->setValue(1, 9.5f));  // still the field's own type only
    float f = 0;
    copy->getValue(0, f);
    EXPECT_EQ(9.5f, f);
    node()->getValue(0, f);
    EXPECT_NE(9.5f, f);
    io->store(nullptr);
    node()->getValue(0, f);
    EXPECT_NE(9.5f, f);
}

TEST_F(StoredNode, ReadsCutTowardZeroAndStayInsideTheAskedType) {
    auto set = node();
    struct Row {
        long index;
        long asLong;
        short asShort;
        unsigned char asByte;
    };
    // Field 0 holds the empty float 3.4e38, field 1 -2.7, field 2 the empty short.
    const Row rows[] = {
        {0, LONG_MAX, 32767, 255},
        {1, -2, -2, 0},
        {2, 32767, 32767, 255},
    };
    for (const Row& r : rows) {
        long l = 0;
        short s = 0;
        unsigned char b = 0;
        EXPECT_EQ(0, set->getValue(r.index, l));
        EXPECT_EQ(0, set->getValue(r.index, s));
        EXPECT_EQ(0, set->getValue(r.index, b));
        EXPECT_EQ(r.asShort, s) << r.index;
        EXPECT_EQ(r.asByte, b) << r.index;
        EXPECT_EQ(r.asLong, l) << r.index;
    }
    NORVAUString text;
    EXPECT_EQ(0, set->getStringValue(1, text, false));
    EXPECT_EQ(NORVAUString("-2.700"), text);
    long l = 0;
    EXPECT_EQ(-1, set->getValue(7, l));
}

TEST(KestrinDescriptor, ReportsTheStoreLayoutInFrameworkTerms) {
    NORVAKestrinGenericDataDescriptor layout;
    layout.setNumAtts(5);
    const int32_t types[] = {KestrinStoreType::DOUBLE, KestrinStoreType::LONG, KestrinStoreType::SHORT,
                             KestrinStoreType::DOUBLE, KestrinStoreType::DOUBLE};
    const char* names[] = {"Depth", "Status", "Count", "TrueX", "TrueY"};
    for (long i = 0; i < 5; ++i) {
        layout.setAttributeName(i, names[i]);
        layout.setType(i, types[i]);
    }
    layout.setAttrCoordIndices(0, 3, 4);
    layout.setAttributeUnit(0, "m");
    KIVOKestrinDescriptor d(layout);
    EXPECT_EQ(5, d.getNumberOfAttributes());
    EXPECT_EQ(8u + 4u + 2u + 8u + 8u, d.getDataSize());
    EXPECT_EQ(KIVODataType::LONG, d.getAttributeType(1));
    EXPECT_EQ(KIVODataType::SHORT, d.getAttributeType(2));
    EXPECT_EQ(1, d.getAttributeIndex("Status"));
    EXPECT_EQ(-1, d.getAttributeIndex("Stat"));
    EXPECT_EQ(NORVAUString("TrueX"), d.getTrueXAttribute(0));
    EXPECT_EQ(NORVAUString("TrueY"), d.getTrueYAttribute(0));
    EXPECT_EQ(NORVAUString(""), d.getTrueXAttribute(1));
    EXPECT_EQ(NORVAUString("m"), d.getUnitKey(0));
    EXPECT_EQ(4u, d.getLength(1));
    NORVAKestrinGenericDataDescriptor text;
    text.setNumAtts(1);
    text.setType(0, KestrinStoreType::FIXED_TEXT);
    text.setAttributeSize(0, 9);
    EXPECT_EQ(8u, KIVOKestrinDescriptor(text).getLength(0));  // the terminator is not part of the length
    EXPECT_EQ(KIVODataType::TEXT, KIVOKestrinDescriptor(text).getAttributeType(0));
    EXPECT_EQ(-1, d.getModAttributeIndex(0));
    EXPECT_TRUE(d.getAttributeEntries().empty());
    // Its string table stores nothing and says so.
    EXPECT_EQ(700028, d.addCompressedString("x"));
    const KIVOCompressedStringTable* table = d.getCompressedStringTable();
    EXPECT_EQ(0, table->getNumberOfStrings());
    EXPECT_EQ(KIVOCompressedStringTable::kInvalidIndex, table->getIndexOfString("x"));
    NORVAUString s;
    EXPECT_EQ(-1, table->getString(0, s));
    auto copy = d.newCopy();
    EXPECT_EQ(d.getDataSize(), copy->getDataSize());
    EXPECT_NE(nullptr, copy->getCompressedStringTable());
}

TEST(KestrinDescriptor, TypesMapBothWays) {
    struct Row {
        int32_t store;
        KIVODataType::DATA_TYPE type;
        int32_t back;
    };
    const Row rows[] = {{0, KIVODataType::DOUBLE, 0},   {1, KIVODataType::LONG, 1},    {2, KIVODataType::TEXT, 2},
                        {3, KIVODataType::UCHAR, 3},    {4, KIVODataType::STRING, 5},  {5, KIVODataType::STRING, 5},
                        {6, KIVODataType::FLOAT, 6},    {7, KIVODataType::USHORT, 7},  {8, KIVODataType::SHORT, 8},
                        {9, KIVODataType::ULONG, 9},    {10, KIVODataType::DATETIME, 10},
                        {11, KIVODataType::DATE, 11},   {12, KIVODataType::TIME, 12},  {13, KIVODataType::DOUBLE, 0},
                        {-4, KIVODataType::DOUBLE, 0}};
    for (const Row& r : rows) {
        EXPECT_EQ(r.type, KIVOKestrinDataIO::convertType(r.store)) << r.store;
        EXPECT_EQ(r.back, KIVOKestrinDataIO::convertType(r.type)) << r.store;
    }
}

TEST(KestrinRecords, NewRecordsStartEmptyAndCopiesGoByNameAndType) {
    KIVOMemDescriptor node({Entry("Count", KIVODataType::SHORT), Entry("Level", KIVODataType::FLOAT),
                            Entry("Other", KIVODataType::DOUBLE), Entry("Mistyped", KIVODataType::LONG),
                            Entry("Name", KIVODataType::TEXT)});
    node.addAttribute(Entry("Unset", KIVODataType::FLOAT));
    auto layout = std::make_shared<const NORVAKestrinGenericDataDescriptor>([] {
        NORVAKestrinGenericDataDescriptor d = KestrinRecords::layoutFor(KIVOMemDescriptor(
            {Entry("Level", KIVODataType::FLOAT), Entry("Count", KIVODataType::SHORT),
             Entry("Mistyped", KIVODataType::DOUBLE), Entry("Unset", KIVODataType::FLOAT)}));
        return d;
    }());
    NORVAKestrinGenericDataObject record = KestrinRecords::newRecord(layout);
    EXPECT_EQ(static_cast<double>(FLT_MAX), record.getAttributeAsDouble(0));
    EXPECT_EQ(32767.0, record.getAttributeAsDouble(1));
    KIVOMemAttributeSet values(node);
    values.setValue(0, static_cast<short>(-3));
    values.setValue(1, 2.5f);
    values.setValue(2, 9.0);
    values.setValue(3, 7L);
    KestrinRecords::copyInto(values, node, record);
    EXPECT_EQ(2.5, record.getAttributeAsDouble(0));
    EXPECT_EQ(-3.0, record.getAttributeAsDouble(1));
    EXPECT_EQ(DBL_MAX, record.getAttributeAsDouble(2));                   // type differs: skipped
    EXPECT_EQ(static_cast<double>(FLT_MAX), record.getAttributeAsDouble(3));  // not set: left empty
}

TEST(KestrinStringTableWrapper, TakesFixedWidthTextsThatLieInsideTheBytes) {
    const char chars[] = "abcdefghijkl";
    struct Row {
        uint16_t count, width;
        size_t available;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {3, 4, 12, {"abcd", "efgh", "ijkl"}},
        {3, 4, 10, {"abcd", "efgh"}},  // the third would read past the bytes
        {5, 4, 12, {"abcd", "efgh", "ijkl"}},
        {0, 4, 12, {}},
        {2, 0, 12, {"", ""}},
    };
    for (const Row& r : rows) {
        KestrinStringTableWrapper table(r.count, r.width, chars, r.available);
        ASSERT_EQ(r.expected.size(), table.count());
        for (size_t i = 0; i < r.expected.size(); ++i) {
            NORVAUString s;
            EXPECT_EQ(0, table.get(static_cast<uint16_t>(i), s));
            EXPECT_EQ(NORVAUString(r.expected[i]), s);
        }
    }
    KestrinStringTableWrapper table(3, 4, chars, 12);
    NORVAUString s;
    EXPECT_EQ(146166, table.get(3, s));
    EXPECT_EQ(1, table.find("efgh"));
    EXPECT_EQ(KestrinStringTableWrapper::kInvalidIndex, table.find("zzzz"));
    long status = 0;
    EXPECT_EQ(KestrinStringTableWrapper::kInvalidIndex, table.add("new", status));
    EXPECT_EQ(700028, status);
    EXPECT_EQ(1, table.findOrAdd("efgh", status));
    EXPECT_EQ(700028, table.remove(0));
    EXPECT_EQ(700028, table.set(0, "x"));
    EXPECT_EQ(700028, table.clear());
    KestrinStringTableWrapper copy(table);
    EXPECT_EQ(3, copy.count());
    EXPECT_EQ(0, KestrinStringTableWrapper(3, 4, nullptr, 12).count());
}

TEST(KestrinRTreeEntry, BoxPositionAndCopies) {
    Entry depth("Depth", KIVODataType::DOUBLE);
    depth.trueXName = "TX";
    depth.trueYName = "TY";
    KIVOMemDescriptor d({depth, Entry("TX", KIVODataType::DOUBLE), Entry("TY", KIVODataType::DOUBLE)});
    KestrinRTreeEntry entry(d, 2.0, 10.0, 20.0);
    EXPECT_EQ(9.0, entry.getLow(0));
    EXPECT_EQ(19.0, entry.getLow(1));
    EXPECT_EQ(11.0, entry.getHigh(0));
    EXPECT_EQ(21.0, entry.getHigh(1));
    EXPECT_EQ(48u, entry.getMemSize());
    std::string id = "x";
    entry.getId(id);
    EXPECT_TRUE(id.empty());
    double x = 0, y = 0;
    entry.getPosition(x, y, -1);
    EXPECT_EQ(10.0, x);
    entry.getPosition(x, y, 0);  // companions not set yet
    EXPECT_EQ(20.0, y);
    entry.getAttributes().setValue(0, -4.5);
    entry.getAttributes().setValue(1, 10.25);
    entry.getAttributes().setValue(2, 19.75);
    ASSERT_EQ(1, d.getTrueXAttributeIndex(0));
    entry.getPosition(x, y, 0);
    EXPECT_EQ(10.25, x);
    EXPECT_EQ(19.75, y);
    NORVAType<KestrinRTreeEntry::Node> copy = entry.newCopy();
    const auto& c = static_cast<const KestrinRTreeEntry&>(*copy);
    EXPECT_TRUE(c.equals(entry));
    double v = 0;
    c.getAttributes().getValue(0, v);
    EXPECT_EQ(-4.5, v);  // the values travel with the copy
    EXPECT_FALSE(c.equals(KestrinRTreeEntry(d, 2.0, 10.0, 20.5)));
}

TEST(KestrinXMLMetaData, CreateBuildsTheTableAndImportSectionOrReportsWhyNot) {
    NORVAKestrinGenericDataDescriptor layout;
    layout.setNumAtts(2);
    layout.setAttributeName(0, "Depth");
    layout.setType(0, KestrinStoreType::FLOAT);
    layout.setAttributeName(1, "Label");
    layout.setType(1, KestrinStoreType::FIXED_TEXT);
    layout.setAttributeSize(1, 9);
    layout.setSourceMetaData({"Survey", "Vessel", "Year"}, {"S-1", "Kestrel"});
    NORVAKestrinPointDataConfig config(NORVAArray<double>{5, 6}, NORVAArray<double>{15, 26},
                                       NORVAArray<double>{0.5, 0.5, 0.01}, {2, 2}, {"X", "Y"}, layout);
    NORVAUString s1, s2, s3;
    NORVACoordSystem("EPSG:32631").toStrings(s1, s2, s3);
    config.setCoordinateInfo(s1, s2, s3);
    NORVAKestrinTileStore store(config, false, true);
    long status = -7;
    NORVAType<KestrinXMLMetaData> m = KestrinXMLMetaData::create(store, status, "/tmp/s.kps");
    ASSERT_TRUE(m);
    EXPECT_EQ(0, status);
    EXPECT_EQ(NORVAUString("/tmp/s.xml"), m->getFileName());
    const KIVODescriptor& d = m->getAttributeTable()->getDescriptor();
    EXPECT_EQ(KIVODataType::FLOAT, d.getAttributeType(0));
    EXPECT_EQ(KIVODataType::TEXT, d.getAttributeType(1));
    EXPECT_EQ(8u, d.getLength(1));  // nine bytes with the terminator
    ASSERT_EQ(1u, m->getMetaBlocks().size());
    EXPECT_EQ(NORVAUString("Import"), m->getMetaBlocks()[0].name);
    EXPECT_EQ(2u, m->getMetaBlocks()[0].items.size());
    double r = 0, ry = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    m->getResolution(r, ry);
    m->getCover(x0, y0, x1, y1);
    EXPECT_EQ(0.5, r);
    EXPECT_EQ(5.0, x0);
    EXPECT_EQ(26.0, y1);
    EXPECT_FALSE(m->getAttributeTable()->getMetaAttribute().getMinimum().isSet(0));  // nothing stored

    config.setCoordinateInfo("", "no such system", "");
    NORVAKestrinTileStore bad(config, false, true);
    status = 0;
    EXPECT_FALSE(KestrinXMLMetaData::create(bad, status));
    EXPECT_NE(0, status);
}

}  // namespace
