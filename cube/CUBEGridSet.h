#pragma once
// How a CUBE surface is tiled into grids for the host: origin, spacing and
// extent in nodes, nodes per grid, and the parameter block all grids share.
// A set lives in "vcg.idx" in the folder stem + "_V2" beside the surface
// header (version 2), or is read from an older surface's ".vcs" header
// (version 1: read-only, grid rows counted from the top of the extent,
// until upgraded).
//
// A grid index is (first, second) = (row, column); node indices grow east
// and north from the origin.
#include <cstdint>
#include <cstdio>
#include <list>
#include <memory>
#include <vector>

#include "cube/CUBEGridIndex.h"
#include "cube/CUBEParameterFactory.h"
#include "cube_engine/cube_forward.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"
#include "platform/core/NORVAnBox.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/frame/SurfaceTypes.h"

namespace CUBE {

class KIVO_EXPORT GridSet {
public:
    using Index = NORVAnPoint<int64_t, 2>;
    using Point = NORVAnPoint<double, 2>;

    static const NORVAUString FileName;

    static constexpr long kInvalidSet = 146210;
    static constexpr long kCannotWrite = 146211;
    static constexpr long kCannotRead = 146212;
    static constexpr long kNoLoadStream = 146213;
    static constexpr long kBadVersion = 146214;
    static constexpr long kNoSaveStream = 146215;
    static constexpr long kParamsNotWritten = 146216;
    static constexpr long kWriteFailed = 146020;
    static constexpr long kBadHeader = 146021;
    static constexpr long kParamsNotRead = 146030;

    static constexpr int16_t kVersion = 2;
    static constexpr int16_t kHeaderVersion = 1;

    GridSet(SurfaceTypes::IHOS44Order order, const CUBEParameterFactory::Configuration& config, const Point& origin,
            const Point& resolution, const Index& gridDimension, const Index& dimensions);
    explicit GridSet(const NORVAUString& file);
    ~GridSet();
    GridSet& operator=(const GridSet&) = delete;

    bool isValid() const { return m_params != nullptr; }
    _cube_param* getParams() const { return m_params; }
    const Point& getOrigin() const { return m_origin; }
    const Point& getResolution() const { return m_resolution; }
    const Index& getDimensions() const { return m_dimensions; }
    const Index& getGridDimension() const { return m_gridDimension; }
    const NORVAUString& getFileName() const { return m_fileName; }
    int16_t getVersion() const { return m_version; }

    bool operator==(const GridSet& o) const;
    bool operator!=(const GridSet& o) const { return !(*this == o); }

    long load(const NORVAUString& file);
    // Replaces the file only once it is written whole.
    long store(const NORVAUString* file = nullptr);

    bool getIndex(const Index& node, Index& index) const;
    void getCover(const Index& index, NORVAnBox<int64_t, 2>& box) const;
    long getGridsWithin(const NORVAnBox<int64_t, 2>& box, std::list<Index>& indices) const;
    std::shared_ptr<GridIndex> getGrid(const Index& index) const;
    std::shared_ptr<GridIndex> createNewGrid(const Index& index) const;

    static NORVAUString getOutputFolder(const NORVAUString& surfaceFile);
    // The files of the surface's version 2 set, as the grid layer names
    // them in the output folder: the set file, then the grid files
    // ("<row>x<column>.vcg") of the set's tiling, those there as regular
    // files. Nothing else in the folder is the set's (the folder may be a
    // user's, or another surface's folder of the same name); nothing at all
    // without a set file, or when the folder is a symbolic link, since what
    // it leads to is not the surface's.
    static std::vector<NORVAUString> getSetFiles(const NORVAUString& surfaceFile);
    static std::shared_ptr<GridSet> fromSurfaceFile(const NORVAUString& surfaceFile);
    // Writes the new set beside the old surface. A file of the output
    // folder that it would write over (a grid file, the set file) is not the
    // surface's to replace: kCannotWrite, and nothing is written. A failed
    // upgrade removes the grid files it wrote.
    static std::shared_ptr<GridSet> upgrade(const GridSet& old, long& status);

private:
    GridSet(const GridSet& o);

    long saveTo(FILE* file) const;
    long loadFrom(FILE* file);
    long readGeometry(FILE* file);
    long readHeaderGeometry(FILE* file);
    long readParams(FILE* file);
    bool geometryIsSound() const;
    bool gridsFitTheBudget() const;
    // The grid index lies within the set's tiling (always, for a set that
    // could not be read).
    bool namesGrid(const Index& index) const;
    // Rows and columns of grids.
    Index tiling() const;
    bool holdsOthersFiles(const NORVAUString& folder) const;
    // First node of a grid, by the set's row order; false outside the set.
    bool firstNode(const Index& index, Index& node) const;
    NORVAUString gridFile(const Index& index) const;
    std::shared_ptr<GridIndex> makeIndex(std::shared_ptr<Grid> grid, const Index& node, const Index& index) const;
    void freeParams();
    long upgradeGrid(const GridSet& old, const Index& index, const NORVAUString& folder, bool& written) const;

    _cube_param* m_params = nullptr;
    Point m_origin;
    Point m_resolution;
    Index m_dimensions;
    Index m_gridDimension;
    NORVAUString m_fileName;
    int16_t m_version = kVersion;
};

}  // namespace CUBE
