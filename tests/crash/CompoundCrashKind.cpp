// A compound surface of two gridded members stored again and again: each
// generation has its own resolution table (in the ".kms" header), source
// record (compound and member metadata), attribute set and node values;
// updated in place, resolution table and attribute set stay.
#include "CrashKind.h"
#include "CrashKindSupport.h"
#include "multires/KIVOCompoundIO.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOGriddedDataIO.h"

namespace {

double boundaryOf(long generation) { return 1000.0 + static_cast<double>(generation); }

KIVOGriddedDataIO* grid(const KIVOCompoundIO::DataIORangeEntry& e) {
    return dynamic_cast<KIVOGriddedDataIO*>(e.dataIO.get());
}

// With `anyLayout`, whatever attribute set the member was made with.
bool memberHolds(const KIVOGriddedDataIO& member, long generation, bool anyLayout = false) {
    if (crashtest::generationOf(*member.getMetaData()) != generation ||
        (!anyLayout &&
         member.getDescriptor().getNumberOfAttributes() != crashtest::layoutOf(generation).getNumberOfAttributes()))
        return false;
    for (uint64_t node = 0; node < member.getNodeCount(); ++node) {
        double v = -1.0;
        if (member.getNodeNumber(node, 0, v) != 0 || v != static_cast<double>(generation)) return false;
    }
    return true;
}

class CompoundCrashKind : public CrashKind {
public:
    const char* name() const override { return "compound"; }
    bool create(const std::string& folder) override { return store(folder, 0) == 0; }
    bool advance(const std::string& folder, long generation) override { return store(folder, generation + 1) == 0; }
    long rewrite(const std::string& folder) override { return store(folder, 1); }
    long check(const std::string& folder, std::string& why) override {
        KIVOCompoundIO compound(NORVAUString(folder + "/c.kms"));
        if (!crashtest::opened(compound, why)) return -1;
        const long generation = crashtest::generationOf(*compound.getMetaData());
        const auto& table = compound.getHeader()->getResolutionTable();
        if (generation < 0 || table.size() != 2 || table.begin()->first.second != boundaryOf(generation)) {
            why = "header of another generation than the metadata's " + std::to_string(generation);
            return -1;
        }
        if (compound.getEntries().size() != 2) {
            why = std::to_string(compound.getEntries().size()) + " members";
            return -1;
        }
        for (const auto& e : compound.getEntries()) {
            if (!grid(e) || !memberHolds(*grid(e), generation)) {
                why = "member " + std::to_string(e.index) + " of another generation";
                return -1;
            }
        }
        return generation;
    }
    long update(const std::string& folder, std::string& why) override {
        KIVOCompoundIO compound(NORVAUString(folder + "/c.kms"));
        if (!crashtest::opened(compound, why)) return -1;
        const long generation = crashtest::generationOf(*compound.getMetaData());
        for (const auto& e : compound.getEntries()) {
            if (!grid(e) || !memberHolds(*grid(e), generation, true)) {
                why = "member " + std::to_string(e.index) + " of another generation than " + std::to_string(generation);
                return -1;
            }
        }
        compound.getMetaData()->setSourceRecord(crashtest::generationRecord(generation + 1));
        for (const auto& e : compound.getEntries()) {
            grid(e)->getMetaData()->setSourceRecord(crashtest::generationRecord(generation + 1));
            for (uint64_t node = 0; node < grid(e)->getNodeCount(); ++node)
                grid(e)->setNodeNumber(node, 0, static_cast<double>(generation + 1));
        }
        const long status = compound.store(nullptr);
        if (status == NORVASurfacePin::kChanged) return kRefused;
        why = "store: " + std::to_string(status);
        return status == 0 ? generation + 1 : -1;
    }

private:
    static long store(const std::string& folder, long generation) {
        const std::string path = folder + "/c.kms";
        auto meta = crashtest::metadataOf(folder + "/c.xml", generation, 60.0);
        KIVOResolutionTable table;
        table[KIVORangeEntry(0.0, boundaryOf(generation))] = 1.0f;
        table[KIVORangeEntry(boundaryOf(generation), 5000.0)] = 2.0f;
        meta->setResolutionTable("Depth", table);
        KIVOCompoundIO compound(NORVAUString(path), meta);
        if (compound.getStatus() != 0) return compound.getStatus();
        for (const auto& e : compound.getEntries()) {
            KIVOGriddedDataIO* member = grid(e);
            if (!member) return -1;
            for (uint64_t node = 0; node < member->getNodeCount(); ++node)
                if (member->setNodeNumber(node, 0, static_cast<double>(generation)) != 0) return -1;
        }
        return compound.store(nullptr);
    }
};

}  // namespace

KIVO_CRASH_KIND(CompoundCrashKind);
