#pragma once
// One tile of a CUBE surface for the host: an engine grid with its grid file
// (".vcg"), the surfaces that disambiguation fills, the surfaces it was
// initialised from, and nomination of a node's hypothesis.
//
// A grid index (x, y) is (column, row) of the surfaces; surface row 0 is the
// engine grid's last row, so index (x, y) is engine node (x, rows - 1 - y).
#include <cstdint>
#include <cstdio>
#include <memory>

#include "cube_engine/cube_forward.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"
#include "platform/core/NORVAnBox.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/orbolink/ORBODataVector.h"

namespace CUBE {

class KIVO_EXPORT Grid {
public:
    using Surface = ORBO_3_12_0_::DataSet::DataVectorND<2>;
    using SurfacePtr = std::shared_ptr<Surface>;
    using Index = NORVAnPoint<int64_t, 2>;

    enum ResultSurface {
        DEPTH = 0,
        UNCERTAINTY = 1,
        MEAN = 2,
        STD_DEV = 3,
        DENSITY = 4,
        NODE_STD_DEV = 5,
        STRENGTH = 6,
        HYPOTHESIS_COUNT = 7,
        INIT_DEPTH = 8,
        INIT_UNCERTAINTY = 9,
        NOMINATED = 10,
        SURFACE_COUNT = 11
    };

    static constexpr long kCannotLoad = 146200;
    static constexpr long kCannotSave = 146201;
    static constexpr long kNoGrid = 146202;
    static constexpr long kNoLoadStream = 146203;
    static constexpr long kBadHeader = 146204;
    static constexpr long kBadVersion = 146205;
    static constexpr long kEngineReadFailed = 146206;
    static constexpr long kDisambiguationFailed = 146207;
    static constexpr long kSurfaceSizeMismatch = 146208;
    static constexpr long kSeedingFailed = 146209;
    static constexpr long kHeaderWriteFailed = 146006;
    static constexpr long kEngineWriteFailed = 146020;
    static constexpr long kReadOnly = 146231;
    static constexpr long kNoNode = 146232;

    static constexpr int16_t kVersion = 2;
    // Uncertainty given to every node seeded from a depth surface alone.
    static constexpr float kSeedUncertainty = 5.0f;

    explicit Grid(_cube_param* params);
    Grid(_cube_param* params, const Index& dimensions, const NORVAnPoint<double, 2>& resolution);
    virtual ~Grid();
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;

    long load(const NORVAUString& path);
    // A non-null path becomes the grid's file name. The file is replaced only
    // once it is written whole.
    long save(const NORVAUString* path = nullptr);
    void flush();

    void markModified() { m_modified = true; }
    bool isModified() const { return m_modified; }
    bool isReadOnly() const { return m_grid == nullptr || m_readOnly || m_version != kVersion; }
    bool isDisambiguated() const { return m_surfaces[DEPTH] != nullptr; }
    int16_t getVersion() const { return m_version; }
    const NORVAUString& getFileName() const { return m_fileName; }
    _cube_grid* getGrid() const { return m_grid; }
    _cube_param* getParams() const { return m_params; }
    Index getDimensions() const;
    NORVAnPoint<double, 2> getResolution() const;
    // The engine node of a grid index; null outside the grid.
    _cube_node* getNode(const Index& index) const;

    long disambiguate(const NORVAnBox<int64_t, 2>* box = nullptr);
    SurfacePtr getResult(int surface) const;
    // The uncertainty surface holds uncertainties (metres), seeded as their
    // squares, as a depth-only seeding squares its one uncertainty.
    long setInitializationSurface(const SurfacePtr& depth, const SurfacePtr& uncertainty);
    long setNomination(const Index& index, bool nominate, float depth);
    void resetSurfaces(const Index& index);
    void releaseSurfaces();

protected:
    virtual long saveTo(FILE* file);
    virtual long loadFrom(FILE* file);

private:
    long readHeader(FILE* file, int& layout);
    void createResultSurfaces();
    void fillNominations();
    void dropSurfacesOfAnotherShape();
    bool seed(const Surface& depth, const Surface* uncertainty);

    SurfacePtr m_surfaces[SURFACE_COUNT];
    _cube_param* m_params;
    _cube_grid* m_grid = nullptr;
    NORVAUString m_fileName;
    int16_t m_version = kVersion;
    bool m_modified = false;
    bool m_readOnly = false;
};

}  // namespace CUBE
