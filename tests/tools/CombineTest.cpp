// Combine functions: the attribute union of the sources and the product
// surface they create.
#include <gtest/gtest.h>
#include <unistd.h>

#include "CombineTestSupport.h"
#include "WorkingFolder.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/core/NORVAFileUtils.h"

using namespace combinetest;
namespace Combine = KIVODazavazEdora::Combine;

namespace {

long countNamed(const Combine::AttributeList& list, const char* name) {
    long n = 0;
    for (const Entry& e : list) n += e.name == NORVAUString(name) ? 1 : 0;
    return n;
}

const Entry* find(const Combine::AttributeList& list, const char* name, int32_t type) {
    for (const Entry& e : list)
        if (e.name == NORVAUString(name) && e.type == type) return &e;
    return nullptr;
}

}  // namespace

TEST(CombineAttributes, UnionIsByNameAndType) {
    struct Case {
        const char* what;
        std::vector<Entry> first, second;
        size_t size;
        long depthEntries;
        uint32_t textLength;
    };
    const std::vector<Case> cases = {
        {"same type merges", {entry("Depth", KIVODataType::FLOAT)}, {entry("Depth", KIVODataType::FLOAT)}, 1, 1, 0},
        {"other type adds", {entry("Depth", KIVODataType::FLOAT)}, {entry("Depth", KIVODataType::DOUBLE)}, 2, 2, 0},
        {"larger length wins",
         {entry("Depth", KIVODataType::FLOAT), entry("Note", KIVODataType::TEXT, "", 8)},
         {entry("Note", KIVODataType::TEXT, "", 20), entry("Depth", KIVODataType::FLOAT)}, 2, 1, 20},
        {"smaller length keeps",
         {entry("Depth", KIVODataType::FLOAT), entry("Note", KIVODataType::TEXT, "", 20)},
         {entry("Note", KIVODataType::TEXT, "", 8)}, 2, 1, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        ASSERT_EQ(0, storeGridded(dir.file("a.vns"), c.first, {}));
        ASSERT_EQ(0, storeGridded(dir.file("b.vns"), c.second, {}));
        Combine::AttributeList list;
        EXPECT_EQ(c.size, Combine::getCommonAttributes({dir.file("a.vns"), dir.file("b.vns")}, list));
        EXPECT_EQ(c.depthEntries, countNamed(list, "Depth"));
        if (c.textLength) {
            const Entry* note = find(list, "Note", KIVODataType::TEXT);
            ASSERT_NE(nullptr, note);
            EXPECT_EQ(c.textLength, note->length);
        }
    }
}

TEST(CombineAttributes, TruePositionNamesNeedBothCompanions) {
    TempFolder dir;
    Entry withBoth = entry("Depth", KIVODataType::FLOAT);
    withBoth.trueXName = "Depth_X";
    withBoth.trueYName = "Depth_Y";
    Entry onlyX = entry("Depth", KIVODataType::FLOAT);
    onlyX.trueXName = "Other_X";
    ASSERT_EQ(0, storeGridded(dir.file("a.vns"), {withBoth, entry("Depth_X", KIVODataType::DOUBLE),
                                                  entry("Depth_Y", KIVODataType::DOUBLE)}, {}));
    ASSERT_EQ(0, storeGridded(dir.file("b.vns"), {onlyX, entry("Other_X", KIVODataType::DOUBLE)}, {}));
    Combine::AttributeList list;
    Combine::getCommonAttributes({dir.file("a.vns"), dir.file("b.vns")}, list);
    const Entry* depth = find(list, "Depth", KIVODataType::FLOAT);
    ASSERT_NE(nullptr, depth);
    EXPECT_EQ(NORVAUString("Depth_X"), depth->trueXName);
    EXPECT_EQ(NORVAUString("Depth_Y"), depth->trueYName);
}

TEST(CombineAttributes, UnopenableSourceIsLeftOut) {
    TempFolder dir;
    ASSERT_EQ(0, storeGridded(dir.file("a.vns"), {entry("Depth", KIVODataType::FLOAT)}, {}));
    Combine::AttributeList list;
    testing::internal::CaptureStdout();
    EXPECT_EQ(1u, Combine::getCommonAttributes({dir.file("missing.vns"), dir.file("none.xyz"), dir.file("a.vns")},
                                               list));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Unable to construct the KIVO surface object.  Error = "));
    EXPECT_NE(std::string::npos, out.find("Error = 146009"));  // no format at all for ".xyz"
}

TEST(CombineOutput, WeightDroppedOnceAndContributorAdded) {
    TempFolder dir;
    ASSERT_EQ(0, storeGridded(dir.file("a.vns"), {entry("Depth", KIVODataType::FLOAT),
                                                  entry("Weight", KIVODataType::FLOAT)}, {}));
    ASSERT_EQ(0, storeGridded(dir.file("b.vns"), {entry("Depth", KIVODataType::FLOAT),
                                                  entry("Weight", KIVODataType::DOUBLE),
                                                  entry("Contributor", KIVODataType::STRING)}, {}));
    const Combine::AttributeList one = Combine::productAttributes({dir.file("a.vns")});
    EXPECT_EQ(0, countNamed(one, "Weight"));
    EXPECT_EQ(1, countNamed(one, "Contributor"));
    EXPECT_NE(nullptr, find(one, "Contributor", KIVODataType::STRING));
    const Combine::AttributeList both = Combine::productAttributes({dir.file("a.vns"), dir.file("b.vns")});
    EXPECT_EQ(1, countNamed(both, "Weight"));  // only the first is dropped
    EXPECT_EQ(1, countNamed(both, "Contributor"));
}

TEST(CombineOutput, KindFollowsTheOutputExtension) {
    struct Case {
        const char* name;
        bool tileStore;
    };
    for (const Case& c : {Case{"out.vns", false}, Case{"out.kps", true}}) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        ASSERT_EQ(0, storeGridded(dir.file("a.vns"), {entry("Depth", KIVODataType::FLOAT)}, {}));
        Combine::Options o = options(dir.file(c.name), {dir.file("a.vns"), dir.file("gone.vns")});
        o.text1 = "one";
        o.comments = "merged";
        long status = -5;
        NORVAType<KIVOSurface> product = Combine::createOutputSurface(o, status);
        ASSERT_EQ(0, status);
        ASSERT_TRUE(product);
        EXPECT_EQ(c.tileStore, innerAs<KIVOKestrinDataIO>(*product) != nullptr);
        const KIVOSurfaceMetaData* meta = product->getMetaData();
        ASSERT_NE(nullptr, meta);
        const KIVOSourceRecord& record = meta->getSourceRecord();
        ASSERT_EQ(2u, record.items.size());  // the source that failed to open is listed too
        EXPECT_EQ(NORVAUString("KIVO"), record.items[1].key);
        EXPECT_EQ(dir.file("gone.vns"), record.items[1].value);
        EXPECT_EQ(DBL_MAX, record.firstTime);
        EXPECT_EQ(NORVAUString("one"), meta->getDescriptiveFields().text1);
        EXPECT_EQ(NORVAUString("merged"), meta->getDescriptiveFields().comments);
        EXPECT_EQ(10u, meta->getDescriptiveFields().creationDate.toUTF8().size());
    }
}

TEST(CombineOutput, MissingCoordinateSystemFailsThroughStatus) {
    TempFolder dir;
    Combine::Options o = options(dir.file("out.vns"), {});
    o.coordSystem.reset();
    long status = 0;
    EXPECT_FALSE(Combine::createOutputSurface(o, status));
    EXPECT_EQ(Combine::kNoCoordSystem, status);
}

// An output that is one of the sources, however the two are spelled, is
// refused before anything is removed; the source keeps every byte.
TEST(CombineOutput, AnOutputThatIsASourceIsRefused) {
    struct Case {
        const char* what;
        const char* output;  // within the folder, or relative to it when it is the working folder
        long status;
    } cases[] = {
        {"the same name", "a.vns", Combine::kOutputIsSource},
        {"a relative path", "./a.vns", Combine::kOutputIsSource},
        {"through \"..\"", "sub/../a.vns", Combine::kOutputIsSource},
        {"a symbolic link to the file", "soft.vns", Combine::kOutputIsSource},
        {"a symbolic link to the folder", "linked/a.vns", Combine::kOutputIsSource},
        {"a hard link", "hard.vns", Combine::kOutputIsSource},
        {"the source's metadata", "a.kps", Combine::kOutputIsSource},
        {"another name", "b.vns", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        const NORVAUString source = dir.file("a.vns");
        ASSERT_EQ(0, storeGridded(source, {entry("Depth", KIVODataType::FLOAT)}, {{1.0, 2.0, {{"Depth", 7.5}}}}));
        const std::string folder = dir.path().toUTF8();
        ASSERT_TRUE(NORVAFileUtils::makeDirectory(dir.file("sub")));
        ASSERT_EQ(0, ::symlink((folder + "/a.vns").c_str(), (folder + "/soft.vns").c_str()));
        ASSERT_EQ(0, ::symlink(folder.c_str(), (folder + "/linked").c_str()));
        ASSERT_EQ(0, ::link((folder + "/a.vns").c_str(), (folder + "/hard.vns").c_str()));
        const std::string vns = testsupport::readFile(folder + "/a.vns");
        const std::string xml = testsupport::readFile(folder + "/a.xml");

        WorkingFolder inside(folder);
        ASSERT_TRUE(inside.entered());
        Combine::Options o = options(c.output, {source});
        long status = -5;
        EXPECT_EQ(c.status != 0, !Combine::createOutputSurface(o, status));
        EXPECT_EQ(c.status, status);
        RecordingPolicy policy;
        NORVAType<KIVOSurface> product;
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.status, policy.CreateOutputSurface(o, product));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.status != 0, !product);

        EXPECT_EQ(vns, testsupport::readFile(folder + "/a.vns"));
        EXPECT_EQ(xml, testsupport::readFile(folder + "/a.xml"));
        EXPECT_EQ(7.5, valueAt(*openGridded(source), 1.0, 2.0, "Depth"));
    }
}

TEST(CombineOptions, AssignmentKeepsCoordinateSystemWhenSourceHasNone) {
    Combine::Options withCs = options("a.vns", {"s1"});
    Combine::Options copy(withCs);
    ASSERT_TRUE(copy.coordSystem);
    EXPECT_NE(withCs.coordSystem.get(), copy.coordSystem.get());
    Combine::Options without;
    without.sources = {"s2"};
    copy = without;
    EXPECT_TRUE(copy.coordSystem);
    EXPECT_EQ(std::vector<NORVAUString>{"s2"}, copy.sources);
    without = withCs;
    EXPECT_TRUE(without.coordSystem);
}
