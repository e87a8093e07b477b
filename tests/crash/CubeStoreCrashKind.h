#pragma once
// A CUBE surface stored again and again: each generation is in the header's
// parameter block, the metadata's source record and every node of its
// grids, so files of two generations cannot pass for one. Each store edits
// every grid, then stores and flushes; a surface of more grids than the edit
// cache holds makes the edits outgrow it before the store.
#include <string>

#include "CrashKind.h"
#include "CrashKindSupport.h"
#include "cube/CubeTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_grid.h"
#include "platform/core/NORVASurfacePin.h"

class CubeStoreCrashKindOf : public CrashKind {
public:
    // A square surface of `grids` x `grids` grids of `tile` x `tile` nodes.
    CubeStoreCrashKindOf(const char* name, uint16_t grids, uint32_t tile)
        : m_name(name), m_grids(grids), m_tile(tile) {}

    const char* name() const override { return m_name; }
    bool create(const std::string& folder) override {
        if (rewrite(folder) != 0) return false;
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        return surface.getStatus() == 0 && store(surface, 0) == 0;
    }
    long rewrite(const std::string& folder) override {
        const double side = static_cast<double>(m_grids) * m_tile - 1.0;
        return cubetest::createStored(NORVAUString(pathOf(folder)), side, side, 1.0, m_tile);
    }
    bool advance(const std::string& folder, long generation) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        return surface.getStatus() == 0 && store(surface, generation + 1) == 0;
    }
    long check(const std::string& folder, std::string& why) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        if (!crashtest::opened(surface, why)) return -1;
        const long generation = generationOf(surface, why);
        return generation >= 0 && gridsHold(surface, generation, why) ? generation : -1;
    }
    long update(const std::string& folder, std::string& why) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        if (surface.getStatus() != 0) return failure(surface.getStatus(), "open", why);
        const long generation = generationOf(surface, why);
        if (generation < 0) return -1;
        if (!gridsHold(surface, generation, why)) return why == kChanged ? kRefused : -1;
        const long status = store(surface, generation + 1);
        return status == 0 ? generation + 1 : failure(status, "store", why);
    }

private:
    static std::string pathOf(const std::string& folder) { return folder + "/c.vcs"; }

    // 0 once stored, else the status of the grid read or store that failed.
    long store(KIVOSurfaceCUBEIO& surface, long generation) const {
        surface.getCubeParameters()->est_offset = static_cast<float>(generation);
        surface.getMetaData()->setSourceRecord(crashtest::generationRecord(generation));
        for (uint16_t row = 0; row < m_grids; ++row)
            for (uint16_t column = 0; column < m_grids; ++column) {
                long status = 0;
                auto entry = surface.getGrid(surface.makeKey(row, column), status, true, true);
                if (!entry) return status != 0 ? status : -1;
                const uint32_t nodes = entry->grid->nx * entry->grid->ny;
                for (uint32_t i = 0; i < nodes; ++i)
                    entry->grid->nodes[i].guide_depth = static_cast<float>(generation);
                entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            }
        const long stored = surface.store(nullptr);
        return stored != 0 ? stored : surface.flush();
    }

    // The generation the header and the metadata both hold, else -1 with why.
    static long generationOf(KIVOSurfaceCUBEIO& surface, std::string& why) {
        const long generation = crashtest::generationOf(*surface.getMetaData());
        if (generation >= 0 && surface.getCubeParameters()->est_offset == static_cast<float>(generation))
            return generation;
        why = "header of another generation than the metadata's " + std::to_string(generation);
        return -1;
    }

    // Grids are read from their files when first asked for, so a read may
    // find the surface changed since it was opened: `why` then says so.
    bool gridsHold(KIVOSurfaceCUBEIO& surface, long generation, std::string& why) const {
        int stale = 0;
        bool changed = false;
        for (uint16_t row = 0; row < m_grids; ++row)
            for (uint16_t column = 0; column < m_grids; ++column) {
                long status = 0;
                auto entry = surface.getGrid(surface.makeKey(row, column), status, false, true);
                bool holds = entry != nullptr;
                const uint32_t nodes = holds ? entry->grid->nx * entry->grid->ny : 0;
                for (uint32_t i = 0; i < nodes && holds; ++i)
                    holds = entry->grid->nodes[i].guide_depth == static_cast<float>(generation);
                changed = changed || status == NORVASurfacePin::kChanged;
                stale += !holds;
            }
        if (stale == 0) return true;
        why = changed ? kChanged : std::to_string(stale) + " grids of another generation than " + std::to_string(generation);
        return false;
    }

    // What a refused read or store gives; else -1 with the status.
    static long failure(long status, const char* step, std::string& why) {
        if (status == NORVASurfacePin::kChanged) return kRefused;
        why = std::string(step) + ": " + std::to_string(status);
        return -1;
    }

    const char* m_name;
    uint16_t m_grids;
    uint32_t m_tile;
};
