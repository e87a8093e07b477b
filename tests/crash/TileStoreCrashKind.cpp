// A tile-store surface created again and again over its path, each
// generation with its own attribute set, node values and source record; and
// one opened from its files and stored back in place (points through
// SQLite, metadata beside them), each generation new node values and source
// record. Both are updated in place the same way.
#include "CrashKind.h"
#include "CrashKindSupport.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

constexpr int kSide = 12;

class TileStoreCrashKind : public CrashKind {
public:
    const char* name() const override { return "tile-store"; }
    bool create(const std::string& folder) override { return store(folder, 0) == 0; }
    bool advance(const std::string& folder, long generation) override { return store(folder, generation + 1) == 0; }
    long rewrite(const std::string& folder) override { return store(folder, 1); }
    long check(const std::string& folder, std::string& why) override {
        KIVOKestrinDataIO io(NORVAUString(folder + "/t.kps"));
        if (!crashtest::opened(io, why)) return -1;
        const long generation = crashtest::generationOf(*io.getMetaData());
        const long attributes = io.getAttributeInfo()->getDescriptor().getNumberOfAttributes();
        const long layout = inPlace() ? 0 : generation;
        long status = 0, s = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(-1, -1, kSide, kSide, false, status, nullptr, 0.0);
        int nodes = 0;
        bool same = status == 0 && attributes == crashtest::layoutOf(layout).getNumberOfAttributes();
        for (bool more = it && !it->done(s); more && same; more = it->next(s), ++nodes) {
            float depth = -1.0f;
            same = it->getAttributes()->getValue(0, depth) == 0 && depth == static_cast<float>(generation);
        }
        if (status == NORVASurfacePin::kChanged || s == NORVASurfacePin::kChanged) {
            why = kChanged;
            return -1;
        }
        if (generation < 0 || !same || nodes != kSide * kSide) {
            why = "nodes or attributes of another generation than the metadata's " + std::to_string(generation) +
                  " (" + std::to_string(status) + ", " + std::to_string(s) + ")";
            return -1;
        }
        return generation;
    }
    long update(const std::string& folder, std::string& why) override {
        KIVOKestrinDataIO io(NORVAUString(folder + "/t.kps"));
        long status = io.getStatus(), s = 0;
        NORVAType<KIVOSurfaceIter> it;
        if (status == 0) it = io.query(-1, -1, kSide, kSide, false, status, nullptr, 0.0);
        if (status != 0 || !it) return failure(status, "open", why);
        const long generation = crashtest::generationOf(*io.getMetaData());
        int nodes = 0;
        for (bool more = !it->done(s); more; more = it->next(s), ++nodes) {
            float depth = -1.0f;
            if (it->getAttributes()->getValue(0, depth) != 0 || depth != static_cast<float>(generation)) {
                why = "nodes of another generation than the metadata's " + std::to_string(generation);
                return -1;
            }
            if (it->getAttributes()->setValue(0, static_cast<float>(generation + 1)) != 0) return failure(-1, "set", why);
        }
        if (s != 0 || nodes != kSide * kSide) return failure(s, "walk", why);
        io.getMetaData()->setSourceRecord(crashtest::generationRecord(generation + 1));
        status = io.store(nullptr);
        return status == 0 ? generation + 1 : failure(status, "store", why);
    }

protected:
    virtual bool inPlace() const { return false; }

    static long failure(long status, const char* step, std::string& why) {
        if (status == NORVASurfacePin::kChanged) return kRefused;
        why = std::string(step) + ": " + std::to_string(status);
        return -1;
    }

    static long store(const std::string& folder, long generation) {
        const std::string path = folder + "/t.kps";
        auto meta = crashtest::metadataOf(path, generation, kSide);
        NORVAUString s1, s2, s3;
        NORVACoordSystem("EPSG:32631").toStrings(s1, s2, s3);
        meta->setCoordSystemString(s1, s2, s3);
        KIVOKestrinDataIO io(NORVAUString(path), *meta);
        if (io.getStatus() != 0) return io.getStatus();
        for (int i = 0; i < kSide * kSide; ++i) {
            const double x = i % kSide, y = i / kSide;
            long status = 0;
            NORVAType<KIVOSurfaceIter> it = io.query(x, y, x, y, true, status, nullptr, 0.0);
            if (!it || status != 0 || it->getAttributes()->setValue(0, static_cast<float>(generation)) != 0)
                return -1;
        }
        return io.store(nullptr);
    }
};

class TileStoreInPlaceCrashKind : public TileStoreCrashKind {
public:
    const char* name() const override { return "tile-store-in-place"; }
    bool advance(const std::string& folder, long generation) override {
        KIVOKestrinDataIO io(NORVAUString(folder + "/t.kps"));
        long status = 0, s = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(-1, -1, kSide, kSide, false, status, nullptr, 0.0);
        if (io.getStatus() != 0 || !it || status != 0) return false;
        for (bool more = !it->done(s); more; more = it->next(s))
            if (it->getAttributes()->setValue(0, static_cast<float>(generation + 1)) != 0) return false;
        io.getMetaData()->setSourceRecord(crashtest::generationRecord(generation + 1));
        return s == 0 && io.store(nullptr) == 0;
    }

protected:
    bool inPlace() const override { return true; }
};

}  // namespace

KIVO_CRASH_KIND(TileStoreCrashKind);
KIVO_CRASH_KIND(TileStoreInPlaceCrashKind);
