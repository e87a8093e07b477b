#pragma once
// The header of one CUBE surface (its ".vcs" file): extent, node spacing,
// tiling into grids and the engine parameter block every grid is estimated
// with. Grid (row, column) covers the nodes from (row x tile size,
// column x tile size), rows counted southwards from the maximum y.
#include <cstdint>
#include <cstdio>

#include "cube_engine/cube_forward.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAArray.h"
#include "platform/core/NORVAObject.h"

class KIVO_EXPORT KIVOCUBEDataHeader : public NORVAObject {
public:
    static constexpr long kNoStream = -1;
    static constexpr long kBadVersion = 146007;
    static constexpr long kBadReservedWord = 146008;
    static constexpr long kWriteFailed = 146020;
    // Bad magic, short read, or stored values that cannot describe a surface
    // (resolution, tiling, node counts against the extent).
    static constexpr long kBadHeader = 146021;
    static constexpr long kSeekFailed = 146022;
    // No parameter block, or a memory budget in which not one node fits.
    static constexpr long kNoMemory = 146030;

    static constexpr uint16_t kVersion = 1;
    static constexpr uint32_t kDefaultBudgetMB = 128;
    // The bytes one tile needs are held in 32 bits; they stay below that
    // for every budget up to here.
    static constexpr uint32_t kMaxBudgetMB = 3072;
    static constexpr float kHypothesesPerNode = 1.5f;
    static constexpr float kUseFraction = 0.8f;
    // Grid row and column are 16-bit, 65535 marking none.
    static constexpr uint32_t kMaxGrids = 65535;

    // A new surface over the bounds; takes the parameter block over.
    KIVOCUBEDataHeader(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum, float resolution,
                       _cube_param* parameters);
    // Reads the header from the stream's position; the status word tells how.
    explicit KIVOCUBEDataHeader(FILE* file);
    // Copies duplicate the parameter block, so each copy frees its own.
    KIVOCUBEDataHeader(const KIVOCUBEDataHeader& o);
    KIVOCUBEDataHeader& operator=(const KIVOCUBEDataHeader& o);
    ~KIVOCUBEDataHeader() override;

    long store(FILE* file) const;
    long read(FILE* file);
    // The summary, to standard output when there is no stream.
    long print(FILE* file) const;
    void print(std::ostream& os) const override;
    // The parameter dump printed for every header built from bounds.
    void printParameters() const;

    uint32_t getNumXPixels() const { return m_numXPixels; }
    uint32_t getNumYPixels() const { return m_numYPixels; }
    float getResolution() const { return m_resolution; }
    _cube_param* getCubeParams() const { return m_params; }
    const NORVAArray<double>& getMinimum() const { return m_minimum; }
    const NORVAArray<double>& getMaximum() const { return m_maximum; }
    uint32_t getGridSize() const { return m_gridSize; }
    uint32_t getNumGrids() const { return m_numGrids; }
    uint32_t getGridsAcross() const { return m_gridsAcross; }
    uint32_t getGridsDown() const { return m_gridsDown; }

    // The tile budget in megabytes from "CUBE_MEMORY_LIMIT", bounded.
    static uint32_t memoryBudgetMB();
    // The largest tile side a header built here chooses for these
    // parameters: the one at the highest budget. A stored grid size beyond it
    // was never written by the library.
    static uint32_t largestTileSide(const _cube_param* parameters);

private:
    long readFields(FILE* file);
    long readParameters(FILE* file);
    long validate() const;
    long computeNodeCounts();
    void computeGridCounts();

    uint16_t m_version = kVersion;
    uint16_t m_reserved = 0;
    NORVAArray<double> m_minimum;
    NORVAArray<double> m_maximum;
    float m_resolution = 0.0f;
    uint32_t m_gridSize = 0;
    uint32_t m_numGrids = 0;
    uint32_t m_gridsAcross = 0;
    uint32_t m_gridsDown = 0;
    uint32_t m_numXPixels = 0;
    uint32_t m_numYPixels = 0;
    _cube_param* m_params = nullptr;
};
