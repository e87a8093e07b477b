#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "FrameTestSupport.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOExtendDataIO.h"
#include "platform/frame/KIVOMEROIGADataIO.h"
#include "platform/orbolink/KIVOGeoRaster.h"
#include "platform/shapes/NORVAPointGeometry.h"

using namespace frametest;

namespace {
std::vector<Node> grid() {
    return {{1, 1, 10}, {2, 1, 20}, {1, 2, 30}, {2, 2, 40}, {5, 5, 50}, {9.5, 9.5, 60}};
}
}  // namespace

TEST(FrameDataIODefaults, MetadataDerivedAnswers) {
    VectorDataIO io(grid());
    ASSERT_NE(io.getAttributeInfo(), nullptr);
    EXPECT_EQ(io.getAttributeInfo()->getDescriptor().getAttributeIndex("Depth"), 0);
    const VectorDataIO& cio = io;
    EXPECT_NE(cio.getAttributeInfo(), nullptr);
    EXPECT_EQ(io.getCoordSystem(), nullptr);
    EXPECT_EQ(io.getMinimum(), (NORVAArray<double>{0, 0}));
    EXPECT_EQ(io.getMaximum(), (NORVAArray<double>{10, 10}));
    KIVOMemAttributeSet a(depthDescriptor());
    EXPECT_EQ(io.set(1, 1, a, depthDescriptor(), DBL_MAX), -1);
    EXPECT_EQ(io.rename("other"), -1);
    EXPECT_TRUE(io.getISOMetaData().isEmpty());
    EXPECT_FALSE(io.isModified());
    io.setModified(true);
    EXPECT_TRUE(io.isModified());
    io.setQueryType(3);
    EXPECT_EQ(io.getQueryType(), 3);
    std::vector<NORVAUString> files{"junk"};
    EXPECT_EQ(io.getAssociatedFiles(files), 0);
    EXPECT_EQ(files, (std::vector<NORVAUString>{"mem.tst"}));
}

TEST(FrameDataIODefaults, PointQueryGoesThroughGeometryToBox) {
    VectorDataIO io(grid());
    long status = -1;
    auto it = io.query(NORVAPoint3D(2, 1, 0), false, status, nullptr, DBL_MAX);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(io.calls["queryBox"], 1);
    EXPECT_EQ(io.lastBox, (std::vector<double>{2, 1, 2, 1}));
    ASSERT_TRUE(it);
    EXPECT_EQ(it->count(), 1);
    double d = 0;
    it->getAttributes()->getValue(0, d);
    EXPECT_EQ(d, 20.0);
}

namespace {
class Square : public NORVAGeometry {
public:
    GeometryType getType() const override { return AREA; }
    NORVABox2D getBoundingBox() const override { return NORVABox2D(NORVAPoint2D(0.5, 0.5), NORVAPoint2D(2, 1.5)); }
    NORVAType<NORVAGeometry> newCopy() const override { return NORVAType<NORVAGeometry>(new Square); }
};
class Nothing : public Square {
    NORVABox2D getBoundingBox() const override { return NORVABox2D(); }
};
}  // namespace

TEST(FrameDataIODefaults, GeometryQueryIsBoxQueryOverBoundingBox) {
    VectorDataIO io(grid());
    long status = -1;
    auto it = io.query(Square(), false, status, nullptr, DBL_MAX);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(io.lastBox, (std::vector<double>{0.5, 0.5, 2, 1.5}));
    ASSERT_TRUE(it);
    EXPECT_EQ(it->count(), 2);
    auto none = io.query(Nothing(), false, status, nullptr, DBL_MAX);
    EXPECT_FALSE(none);
    EXPECT_NE(status, 0);
}

TEST(FrameDataIODefaults, WorldAndIndex) {
    VectorDataIO io(grid());  // cover (0,0)-(10,10), resolution 1
    int64_t c = -9, r = -9;
    EXPECT_EQ(io.worldToIndex(3.4, 6.6, c, r), 0);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(r, 7);
    double x = 0, y = 0;
    EXPECT_EQ(io.indexToWorld(3, 7, x, y), 0);
    EXPECT_EQ(x, 3.0);
    EXPECT_EQ(y, 7.0);
    EXPECT_EQ(io.worldToIndex(std::nan(""), 1, c, r), -1);
    EXPECT_EQ(io.worldToIndex(1e300, 1, c, r), -1);
}

TEST(FrameDataIODefaults, RasterizeOverBoxQuery) {
    VectorDataIO io(grid());
    KIVOSurfaceDataIO::rasterizeConfig cfg;
    cfg.attribute = "Depth";
    cfg.minX = 0;
    cfg.minY = 0;
    cfg.maxX = 3;
    cfg.maxY = 3;
    cfg.columns = 3;
    cfg.rows = 3;
    cfg.noData = -1;
    ASSERT_EQ(io.rasterize(cfg), 0);
    ASSERT_EQ(cfg.output.size(), 9u);
    EXPECT_EQ(cfg.cellX, 1.0);
    // row-major, row 0 at minimum y
    EXPECT_EQ(cfg.output, (std::vector<float>{-1, -1, -1, -1, 10, 20, -1, 30, 40}));

    std::vector<float> buffer(9, 99);
    cfg.buffer = buffer.data();
    cfg.columnMajor = true;
    cfg.negate = true;
    DepthAtLeast deep(25);
    cfg.filter = &deep;
    ASSERT_EQ(io.rasterize(cfg), 0);
    EXPECT_EQ(buffer, (std::vector<float>{-1, -1, -1, -1, -1, -30, -1, -1, -40}));

    cfg.attribute = "Missing";
    EXPECT_EQ(io.rasterize(cfg), -1);
    cfg.attribute = "Depth";
    cfg.columns = 0;
    EXPECT_EQ(io.rasterize(cfg), -1);
}

TEST(FrameDataIODefaults, DeleteAllFilesRemovesFilesAndFolders) {
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().isEmpty());
    class FilesIO : public VectorDataIO {
    public:
        using VectorDataIO::VectorDataIO;
        long getAssociatedFiles(std::vector<NORVAUString>& f) const override {
            f = files;
            return 0;
        }
        std::vector<NORVAUString> files;
    } io({}, tmp.file("s.tst"));
    const NORVAUString sub = tmp.file("s");
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(sub));
    std::ofstream(tmp.file("s.tst").toUTF8()) << "x";
    std::ofstream((sub + "/a.bin").toUTF8()) << "y";
    io.files = {tmp.file("s.tst"), sub, sub + "/a.bin", tmp.file("gone.xml")};
    EXPECT_EQ(io.deleteAllFiles(false), 0);
    EXPECT_FALSE(NORVAFileUtils::exists(tmp.file("s.tst")));
    EXPECT_FALSE(NORVAFileUtils::exists(sub));

    // A listed folder that holds what is not listed stays with it, reported.
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(sub));
    std::ofstream((sub + "/kept.txt").toUTF8()) << "z";
    io.files = {sub};
    EXPECT_EQ(io.deleteAllFiles(false), 146006);
    EXPECT_TRUE(NORVAFileUtils::exists(sub + "/kept.txt"));
}

namespace {
// Records the operation every call reaches and answers with distinct values.
class Recorder : public KIVOSurfaceDataIO {
public:
    explicit Recorder(std::vector<std::string>& log, bool* destroyed) : m_log(log), m_destroyed(destroyed) {
        m_status = 0;
    }
    ~Recorder() override { *m_destroyed = true; }
    void print(std::ostream& os) const override { os << "Recorder"; }
    KIVOSurfaceAttributeTable* getAttributeInfo() override { return hit("getAttributeInfo"), &m_meta.table(); }
    const KIVOSurfaceAttributeTable* getAttributeInfo() const override {
        return hit("getAttributeInfoConst"), &m_meta.table();
    }
    const NORVACoordSystem* getCoordSystem() const override { return hit("getCoordSystem"), nullptr; }
    NORVAArray<double> getMinimum() const override { return hit("getMinimum"), NORVAArray<double>{1, 2}; }
    NORVAArray<double> getMaximum() const override { return hit("getMaximum"), NORVAArray<double>{3, 4}; }
    NORVAUString getSourceName() const override { return hit("getSourceName"), NORVAUString("rec.tst"); }
    KIVOSurfaceMetaData* getMetaData() override { return hit("getMetaData"), &m_meta; }
    const KIVOSurfaceMetaData* getMetaData() const override { return hit("getMetaDataConst"), &m_meta; }
    long getQueryType() const override { return hit("getQueryType"), 5; }
    long set(double, double, const KIVOAttributeSet&, const KIVODescriptor&, double) override {
        return hit("set"), 11;
    }
    void setModified(bool) override { hit("setModified"); }
    void setQueryType(long) override { hit("setQueryType"); }
    long open() override { return hit("open"), 12; }
    long close() override { return hit("close"), 13; }
    long store(NORVAProgress*) override { return hit("store"), 14; }
    long flush() override { return hit("flush"), 15; }
    bool isOutdated() const override { return hit("isOutdated"), true; }
    bool checkOutdated() override { return hit("checkOutdated"), true; }
    NORVAType<KIVOSurfaceIter> query(const NORVAPoint3D&, bool, long& s, NORVAProgress*, double) override {
        s = 16;
        return hit("queryPoint"), NORVAType<KIVOSurfaceIter>();
    }
    NORVAType<KIVOSurfaceIter> query(double, double, double, double, bool, long& s, NORVAProgress*,
                                     double) override {
        s = 17;
        return hit("queryBox"), NORVAType<KIVOSurfaceIter>();
    }
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry&, bool, long& s, NORVAProgress*, double) override {
        s = 18;
        return hit("queryGeometry"), NORVAType<KIVOSurfaceIter>();
    }
    bool isModified() const override { return hit("isModified"), true; }
    long deleteAllFiles(bool) override { return hit("deleteAllFiles"), 19; }
    long getAssociatedFiles(std::vector<NORVAUString>& f) const override {
        f = {"a", "b"};
        return hit("getAssociatedFiles"), 20;
    }
    long rasterize(rasterizeConfig&) override { return hit("rasterize"), 21; }
    long rename(const NORVAUString&) override { return hit("rename"), 22; }
    NORVAUString getISOMetaData() const override { return hit("getISOMetaData"), NORVAUString("iso"); }
    long worldToIndex(double, double, int64_t& c, int64_t& r) const override {
        c = 7;
        r = 8;
        return hit("worldToIndex"), 23;
    }
    long indexToWorld(int64_t, int64_t, double& x, double& y) const override {
        x = 7.5;
        y = 8.5;
        return hit("indexToWorld"), 24;
    }

private:
    struct Meta : FixedMetaData {
        Meta() : FixedMetaData(0, 0, 1, 1, 1) {}
        KIVOSurfaceAttributeTable& table() const { return *const_cast<Meta*>(this)->getAttributeTable(); }
    };
    int hit(const char* name) const {
        m_log.push_back(name);
        return 0;
    }
    std::vector<std::string>& m_log;
    bool* m_destroyed;
    mutable Meta m_meta;
};
}  // namespace

TEST(FrameExtendDataIO, ForwardsAllOperations) {
    std::vector<std::string> log;
    bool destroyed = false;
    NORVAType<KIVOSurfaceDataIO> handle(new Recorder(log, &destroyed));
    KIVOSurfaceDataIO* inner = handle.get();
    {
        KIVOExtendDataIO e(handle);
        EXPECT_FALSE(handle);  // taken over
        EXPECT_EQ(e.getDataIO(), inner);
        EXPECT_EQ(e.getStatus(), 0);
        const KIVOExtendDataIO& ce = e;
        std::ostringstream os;
        e.print(os);
        EXPECT_EQ(os.str(), "Recorder");
        EXPECT_NE(e.getAttributeInfo(), nullptr);
        EXPECT_NE(ce.getAttributeInfo(), nullptr);
        EXPECT_EQ(e.getCoordSystem(), nullptr);
        EXPECT_EQ(e.getMinimum(), (NORVAArray<double>{1, 2}));
        EXPECT_EQ(e.getMaximum(), (NORVAArray<double>{3, 4}));
        EXPECT_EQ(e.getSourceName(), NORVAUString("rec.tst"));
        EXPECT_EQ(e.getMetaData(), inner->getMetaData());
        EXPECT_NE(ce.getMetaData(), nullptr);
        EXPECT_EQ(e.getQueryType(), 5);
        KIVOMemAttributeSet a(depthDescriptor());
        EXPECT_EQ(e.set(0, 0, a, depthDescriptor(), DBL_MAX), 11);
        e.setModified(true);
        e.setQueryType(2);
        EXPECT_EQ(e.open(), 12);
        EXPECT_EQ(e.close(), 13);
        EXPECT_EQ(e.store(nullptr), 14);
        EXPECT_EQ(e.flush(), 15);
        EXPECT_TRUE(e.isOutdated());
        EXPECT_TRUE(e.checkOutdated());
        long s = 0;
        e.query(NORVAPoint3D(1, 2, 3), false, s, nullptr, DBL_MAX);
        EXPECT_EQ(s, 16);
        e.query(0, 0, 1, 1, false, s, nullptr, DBL_MAX);
        EXPECT_EQ(s, 17);
        e.query(NORVAPointGeometry(1, 2), false, s, nullptr, DBL_MAX);
        EXPECT_EQ(s, 18);
        EXPECT_TRUE(e.isModified());
        EXPECT_EQ(e.deleteAllFiles(true), 19);
        std::vector<NORVAUString> files;
        EXPECT_EQ(e.getAssociatedFiles(files), 20);
        EXPECT_EQ(files.size(), 2u);
        KIVOSurfaceDataIO::rasterizeConfig cfg;
        EXPECT_EQ(e.rasterize(cfg), 21);
        EXPECT_EQ(e.rename("x"), 22);
        EXPECT_EQ(e.getISOMetaData(), NORVAUString("iso"));
        int64_t c = 0, r = 0;
        EXPECT_EQ(e.worldToIndex(0, 0, c, r), 23);
        EXPECT_EQ(c, 7);
        double x = 0, y = 0;
        EXPECT_EQ(e.indexToWorld(0, 0, x, y), 24);
        EXPECT_EQ(y, 8.5);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);  // the wrapper owns the object
    const std::vector<std::string> expected{
        "getAttributeInfo", "getAttributeInfoConst", "getCoordSystem", "getMinimum", "getMaximum",
        "getSourceName", "getMetaData", "getMetaData", "getMetaDataConst", "getQueryType", "set",
        "setModified", "setQueryType", "open", "close", "store", "flush", "isOutdated", "checkOutdated",
        "queryPoint", "queryBox", "queryGeometry", "isModified", "deleteAllFiles", "getAssociatedFiles",
        "rasterize", "rename", "getISOMetaData", "worldToIndex", "indexToWorld"};
    EXPECT_EQ(log, expected);
}

TEST(FrameExtendDataIO, EmptyHandleGivesNeutralAnswers) {
    KIVOExtendDataIO e{NORVAType<KIVOSurfaceDataIO>()};
    EXPECT_NE(e.getStatus(), 0);
    EXPECT_EQ(e.getDataIO(), nullptr);
    EXPECT_EQ(e.getMetaData(), nullptr);
    EXPECT_EQ(e.flush(), -1);
    long s = 0;
    EXPECT_FALSE(e.query(0, 0, 1, 1, false, s, nullptr, DBL_MAX));
    EXPECT_EQ(s, -1);
    std::ostringstream os;
    e.print(os);
}

TEST(FrameExtendDataIO, StatusOfWrappedObjectIsKept) {
    NORVAType<KIVOSurfaceDataIO> h(new KIVOMEROIGADataIO("a.iga"));
    KIVOExtendDataIO e(std::move(h));
    EXPECT_EQ(e.getStatus(), 146009);
}

TEST(FrameIGA, AlwaysReportsNotSupported) {
    KIVOMEROIGADataIO io("/no/such/file.iga");
    EXPECT_EQ(io.getStatus(), 146009);
    EXPECT_EQ(io.getSourceName(), NORVAUString("/no/such/file.iga"));
    EXPECT_EQ(io.getMetaData(), nullptr);
    EXPECT_EQ(io.getAttributeInfo(), nullptr);
    EXPECT_EQ(io.getMinimum().size(), 0u);
    long s = 0;
    EXPECT_FALSE(io.query(0, 0, 1, 1, false, s, nullptr, DBL_MAX));
    EXPECT_EQ(s, 146009);
    EXPECT_FALSE(io.query(NORVAPoint3D(0, 0, 0), false, s, nullptr, DBL_MAX));
    EXPECT_EQ(s, 146009);
    int64_t c = 0, r = 0;
    EXPECT_EQ(io.worldToIndex(0, 0, c, r), -1);
}

TEST(FrameOrboLink, GeoRasterSharesItsDataIO) {
    auto io = std::make_shared<VectorDataIO>(grid());
    KIVOGeoRaster raster(io);
    const ORBO_3_12_0_::DataSet::GeoBandSet& set = raster;
    auto* asRaster = dynamic_cast<const KIVOGeoRaster*>(&set);
    ASSERT_NE(asRaster, nullptr);
    EXPECT_EQ(asRaster->shareDataIO().get(), io.get());
    EXPECT_EQ(io.use_count(), 2);  // io and the raster
}
