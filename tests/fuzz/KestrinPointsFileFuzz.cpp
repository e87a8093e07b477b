// The points file of a tile-store surface (".ktf", an SQLite database) behind
// a fixed header: the fuzzed bytes are the points file, opened as the format
// registry opens a ".kps" surface and read in every way (ranges, counts, a
// box query over everything with every attribute as text and as number, a
// point query at each node, box queries over parts of the cover). Any input
// gives a status; a surface that opens serves each stored point at most once
// (no more than it counts, when it can count them: a damaged index SQLite
// cannot see while it searches may hold fewer), serves only positions the
// query's box (or a point's half-spacing reach) holds, however its index
// disagrees with its rows, keeps fixed text within its length, and leaves the
// file as it was, with no side file beside it.
#include <sqlite3.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <set>

#include "fuzz/FuzzSupport.h"
#include "multires/KIVOKestrinAttributeSet.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"
#include "platform/kestrin/NORVAKestrinTileStore.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

using Entry = KIVODescriptor::AttribEntry;

std::string folder() {
    static const std::string path = [] {
        fuzzsupport::clearScratch("points");
        return fuzzsupport::scratchFolder() + "/points";
    }();
    return path;
}

std::vector<Entry> everyType() {
    std::vector<Entry> entries;
    const KIVODataType::DATA_TYPE types[] = {KIVODataType::FLOAT,  KIVODataType::DOUBLE, KIVODataType::USHORT,
                                             KIVODataType::SHORT,  KIVODataType::LONG,   KIVODataType::ULONG,
                                             KIVODataType::STRING, KIVODataType::UCHAR,  KIVODataType::TEXT,
                                             KIVODataType::DATETIME};
    for (KIVODataType::DATA_TYPE t : types) {
        Entry e(NORVAUString("A") + NORVAUString::formatLong(t), t);
        if (t == KIVODataType::TEXT) e.length = 6;
        entries.push_back(e);
    }
    return entries;
}

// A surface of the layout with `nodes` nodes along a diagonal, stored by the
// library at `stem`.kps; false when the library refused it.
bool writeSurface(const std::string& stem, const std::vector<Entry>& entries, int nodes) {
    KIVOMetaAttribute meta{KIVOMemDescriptor(entries)};
    auto m = makeNORVAType<KIVOSurfaceXMLMetaData>(makeNORVAType<KIVOSurfaceAttributeTable>(meta), "TMP");
    NORVAUString s1, s2, s3;
    NORVACoordSystem("EPSG:32631", "UTM 31N").toStrings(s1, s2, s3);
    m->setCoordSystemString(s1, s2, s3);
    m->setLowerLeft(0.0, 0.0);
    m->setDimensions(100.0, 100.0);
    m->setResolution(1.0);
    KIVOKestrinDataIO io(NORVAUString((stem + ".kps").c_str()), *m);
    if (io.getStatus() != 0) return false;
    for (int i = 0; i < nodes; ++i) {
        long status = 0;
        auto it = io.query(i, i, i, i, true, status, nullptr, 0.0);
        if (!it || it->done(status)) return false;
        KIVOAttributeSet& set = *it->getAttributes();
        for (size_t a = 0; a < entries.size(); ++a) {
            const long index = static_cast<long>(a);
            if (entries[a].type == KIVODataType::STRING || entries[a].type == KIVODataType::TEXT)
                set.setValue(index, NORVAUString(i % 2 ? "ship" : "launch boat"));
            else if (entries[a].type == KIVODataType::DOUBLE || entries[a].type == KIVODataType::FLOAT)
                set.setValue(index, -2.5 * i);
        }
    }
    return io.store(nullptr) == 0;
}

// Points files of an earlier layout index positions in an R-tree instead of
// row bands; a stored file turned into one the way such files look.
bool toEarlierLayout(const std::string& points) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(points.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db,
                           "DROP INDEX kestrin_rows;"
                           "CREATE VIRTUAL TABLE kestrin_index USING rtree(id, minx, maxx, miny, maxy);"
                           "INSERT INTO kestrin_index SELECT id, x, x, y, y FROM kestrin_points;",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    ok = sqlite3_close(db) == SQLITE_OK && ok;
    return ok;
}

// The header beside every input: the points file's own copy of it stands in
// whenever the points file keeps one.
void writeHeaderOnce() {
    static const bool written = [] {
        const std::string stem = folder() + "/header";
        if (!writeSurface(stem, everyType(), 0)) std::abort();
        std::filesystem::copy_file(stem + ".kps", folder() + "/input.kps",
                                   std::filesystem::copy_options::overwrite_existing);
        return true;
    }();
    (void)written;
}

// Every node the query serves lies in the box (edges included), by the
// position it is served at.
void checkServedWithin(KIVOKestrinDataIO& io, double x0, double y0, double x1, double y1) {
    long status = 0;
    auto it = io.query(x0, y0, x1, y1, false, status, nullptr, 0.0);
    if (!it) return;
    long s = 0;
    for (bool more = !it->done(s); more; more = it->next(s)) {
        double x = 0.0, y = 0.0;
        FUZZ_CHECK(it->getPosition(x, y, -1) == 0);
        FUZZ_CHECK(x >= x0 && x <= x1 && y >= y0 && y <= y1);
    }
}

void readNode(KIVOSurfaceIter& it, KIVOKestrinDataIO& io, const std::vector<Entry>& layout, double half) {
    const KIVOAttributeSet& set = *it.getAttributes();
    for (long i = 0; i < static_cast<long>(layout.size()); ++i) {
        NORVAUString text;
        double number = 0.0;
        set.getStringValue(i, text, false);
        set.getDoubleValue(i, number, false);
        const Entry& entry = layout[static_cast<size_t>(i)];
        if (entry.type == KIVODataType::TEXT && entry.length > 0) {
            set.getValue(i, text);
            FUZZ_CHECK(text.toUTF8().size() <= entry.length);
        }
    }
    double x = 0.0, y = 0.0;
    if (it.getPosition(x, y, -1) != 0) return;
    long status = 0;
    auto at = io.query(x, y, x, y, false, status, nullptr, 0.0);
    long s = 0;
    for (bool more = at && !at->done(s); more; more = at->next(s)) {
        double ax = 0.0, ay = 0.0;
        FUZZ_CHECK(at->getPosition(ax, ay, -1) == 0);
        FUZZ_CHECK(ax >= x - half && ax <= x + half && ay >= y - half && ay <= y + half);
    }
}

void readAll(KIVOKestrinDataIO& io) {
    const KIVOSurfaceAttributeTable* table = io.getAttributeInfo();
    FUZZ_CHECK(table != nullptr);
    const std::vector<Entry> layout = table->getDescriptor().getAttributeEntries();
    const NORVAKestrinDataIO* store = io.getTileStore() ? io.getTileStore()->getDataIO(0) : nullptr;
    FUZZ_CHECK(store != nullptr);
    const int64_t records = store->getNumRecords();
    const double half = store->getPointDataConfig().getHorizontalResolution() / 2.0;
    long status = 0;
    auto it = io.query(-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL, false, status, nullptr, 0.0);
    if (!it) return;
    std::set<int64_t> served;
    long s = 0;
    for (bool more = !it->done(s); more; more = it->next(s)) {
        const auto* stored = dynamic_cast<const KIVOKestrinAttributeSet*>(it->getAttributes());
        FUZZ_CHECK(stored != nullptr && served.insert(stored->getPoint().getId()).second);
        readNode(*it, io, layout, half);
    }
    // Zero also answers a count that failed.
    FUZZ_CHECK(records == 0 || static_cast<int64_t>(served.size()) <= records);
    // The cover, its quarters, and the cover from just above its origin.
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double boxes[][4] = {{0, 0, 100, 100}, {0, 0, 50, 50},  {50, 0, 100, 50},
                               {0, 50, 50, 100}, {50, 50, 100, 100}, {tiny, tiny, 100, 100}};
    for (const auto& b : boxes) checkServedWithin(io, b[0], b[1], b[2], b[3]);
    io.flush();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeHeaderOnce();
    const std::string points = fuzzsupport::writeScratch("points/input.ktf", data, size);
    {
        KIVOKestrinDataIO io(NORVAUString((folder() + "/input.kps").c_str()));
        if (io.getStatus() == 0) {
            fuzzsupport::noteAccepted();
            readAll(io);
        }
    }
    // Reading changes no byte and leaves nothing beside the surface.
    const std::vector<uint8_t> after = fuzzsupport::readWhole(points);
    FUZZ_CHECK(after.size() == size && std::equal(after.begin(), after.end(), data));
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
        (void)entry;
        ++files;
    }
    FUZZ_CHECK(files == 5);  // header.{kps,ktf,xml}, input.{kps,ktf}
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        int nodes;
    };
    const Case cases[] = {
        {"every-type", everyType(), 5},
        {"depth-status", {Entry("Depth", KIVODataType::DOUBLE), Entry("Status", KIVODataType::LONG)}, 12},
        {"empty", {Entry("Depth", KIVODataType::FLOAT)}, 0},
    };
    const std::string stem = fuzzsupport::scratchFolder() + "/seed";
    for (const Case& c : cases) {
        if (!writeSurface(stem, c.entries, c.nodes)) std::abort();
        seeds.add(c.name, fuzzsupport::readWhole(stem + ".ktf"));
    }
    if (!writeSurface(stem, everyType(), 5) || !toEarlierLayout(stem + ".ktf")) std::abort();
    seeds.add("earlier-layout", fuzzsupport::readWhole(stem + ".ktf"));
}
