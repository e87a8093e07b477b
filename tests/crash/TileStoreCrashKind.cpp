// A tile-store surface created again and again over its path, each
// generation with its own attribute set, node values and source record.
#include "CrashKind.h"
#include "CrashKindSupport.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

constexpr int kSide = 12;

class TileStoreCrashKind : public CrashKind {
public:
    const char* name() const override { return "tile-store"; }
    bool create(const std::string& folder) override { return store(folder, 0); }
    bool advance(const std::string& folder, long generation) override { return store(folder, generation + 1); }
    long check(const std::string& folder, std::string& why) override {
        KIVOKestrinDataIO io(NORVAUString(folder + "/t.kps"));
        if (io.getStatus() != 0) {
            why = "open: " + std::to_string(io.getStatus());
            return -1;
        }
        const long generation = crashtest::generationOf(*io.getMetaData());
        const long attributes = io.getAttributeInfo()->getDescriptor().getNumberOfAttributes();
        long status = 0, s = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(-1, -1, kSide, kSide, false, status, nullptr, 0.0);
        int nodes = 0;
        bool same = status == 0 && attributes == crashtest::layoutOf(generation).getNumberOfAttributes();
        for (bool more = it && !it->done(s); more && same; more = it->next(s), ++nodes) {
            float depth = -1.0f;
            same = it->getAttributes()->getValue(0, depth) == 0 && depth == static_cast<float>(generation);
        }
        if (generation < 0 || !same || nodes != kSide * kSide) {
            why = "nodes or attributes of another generation than the metadata's " + std::to_string(generation);
            return -1;
        }
        return generation;
    }

private:
    static bool store(const std::string& folder, long generation) {
        const std::string path = folder + "/t.kps";
        auto meta = crashtest::metadataOf(path, generation, kSide);
        NORVAUString s1, s2, s3;
        NORVACoordSystem("EPSG:32631").toStrings(s1, s2, s3);
        meta->setCoordSystemString(s1, s2, s3);
        KIVOKestrinDataIO io(NORVAUString(path), *meta);
        if (io.getStatus() != 0) return false;
        for (int i = 0; i < kSide * kSide; ++i) {
            const double x = i % kSide, y = i / kSide;
            long status = 0;
            NORVAType<KIVOSurfaceIter> it = io.query(x, y, x, y, true, status, nullptr, 0.0);
            if (!it || status != 0 || it->getAttributes()->setValue(0, static_cast<float>(generation)) != 0)
                return false;
        }
        return io.store(nullptr) == 0;
    }
};

}  // namespace

KIVO_CRASH_KIND(TileStoreCrashKind);
