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

class CubeStoreCrashKindOf : public CrashKind {
public:
    // A square surface of `grids` x `grids` grids of `tile` x `tile` nodes.
    CubeStoreCrashKindOf(const char* name, uint16_t grids, uint32_t tile)
        : m_name(name), m_grids(grids), m_tile(tile) {}

    const char* name() const override { return m_name; }
    bool create(const std::string& folder) override {
        const double side = static_cast<double>(m_grids) * m_tile - 1.0;
        if (cubetest::createStored(NORVAUString(pathOf(folder)), side, side, 1.0, m_tile) != 0) return false;
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        return surface.getStatus() == 0 && store(surface, 0);
    }
    bool advance(const std::string& folder, long generation) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        return surface.getStatus() == 0 && store(surface, generation + 1);
    }
    long check(const std::string& folder, std::string& why) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        if (surface.getStatus() != 0) {
            why = "open: " + std::to_string(surface.getStatus());
            return -1;
        }
        const long generation = crashtest::generationOf(*surface.getMetaData());
        if (generation < 0 || surface.getCubeParameters()->est_offset != static_cast<float>(generation)) {
            why = "header of another generation than the metadata's " + std::to_string(generation);
            return -1;
        }
        const int stale = gridsNotHolding(surface, generation);
        if (stale != 0) {
            why = std::to_string(stale) + " grids of another generation than " + std::to_string(generation);
            return -1;
        }
        return generation;
    }

private:
    static std::string pathOf(const std::string& folder) { return folder + "/c.vcs"; }

    bool store(KIVOSurfaceCUBEIO& surface, long generation) const {
        surface.getCubeParameters()->est_offset = static_cast<float>(generation);
        surface.getMetaData()->setSourceRecord(crashtest::generationRecord(generation));
        for (uint16_t row = 0; row < m_grids; ++row)
            for (uint16_t column = 0; column < m_grids; ++column) {
                long status = 0;
                auto entry = surface.getGrid(surface.makeKey(row, column), status, true, true);
                if (!entry) return false;
                const uint32_t nodes = entry->grid->nx * entry->grid->ny;
                for (uint32_t i = 0; i < nodes; ++i)
                    entry->grid->nodes[i].guide_depth = static_cast<float>(generation);
                entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            }
        return surface.store(nullptr) == 0 && surface.flush() == 0;
    }

    int gridsNotHolding(KIVOSurfaceCUBEIO& surface, long generation) const {
        int stale = 0;
        for (uint16_t row = 0; row < m_grids; ++row)
            for (uint16_t column = 0; column < m_grids; ++column) {
                long status = 0;
                auto entry = surface.getGrid(surface.makeKey(row, column), status, false, true);
                bool holds = entry != nullptr;
                const uint32_t nodes = holds ? entry->grid->nx * entry->grid->ny : 0;
                for (uint32_t i = 0; i < nodes && holds; ++i)
                    holds = entry->grid->nodes[i].guide_depth == static_cast<float>(generation);
                stale += !holds;
            }
        return stale;
    }

    const char* m_name;
    uint16_t m_grids;
    uint32_t m_tile;
};
