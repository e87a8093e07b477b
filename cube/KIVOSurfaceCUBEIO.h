#pragma once
// The storage of CUBE surfaces: a ".vcs" header, an ".xml" metadata file, and
// a folder named after the surface holding grid files ".vcg" and layer-cache
// files ".vcc". Through the generic interface a CUBE surface is read from its
// layers; nodes are edited through getGrid/getCubeNode, whose grids live in
// the edit cache. The surface takes part in the process-wide memory budget
// with both of its caches.
#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "cube/CUBEEditCache.h"
#include "cube/CUBELayerCache.h"
#include "cube/CUBEParameterFactory.h"
#include "cube/CUBEUtils.h"
#include "cube/KIVOCUBEDataHeader.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOResourceManager.h"
#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

class CUBERenamePlan;
class NORVACoordSystem;
class NORVAFileTransaction;
class NORVASurfaceLock;

class KIVO_EXPORT KIVOSurfaceCUBEIO : public KIVOSurfaceDataIO, public KIVOResourceMember {
public:
    using _cubeGridIdx = CUBEGridIdx;
    using _cubeEntry = CUBEGridEntry;

    static constexpr long kNoMetaData = 146004;
    static constexpr long kHeaderNotOpened = 146006;
    // A rename target exists already, or a rename failed (and was undone).
    static constexpr long kRenameFailed = 146006;
    // A file of the surface cannot be deleted (a folder stands in its
    // place), or is still there after it was to be deleted.
    static constexpr long kRemoveFailed = 146006;
    static constexpr long kNoHeader = -1;
    // The files of a store or flush could not all be committed: none was.
    static constexpr long kCommitFailed = 146020;
    // The metadata names an attribute that cannot be part of a layer-cache
    // file name ("/", "..", ...): the surface is damaged and is not opened.
    static constexpr long kBadAttributeName = KIVOSurfaceXMLMetaData::XML_META_BAD_LAYOUT;

    // Opens an existing surface.
    explicit KIVOSurfaceCUBEIO(const NORVAUString& path);
    // Creates a new surface from filled metadata, which it takes over along
    // with the parameter block. Nothing is written until store. A name whose
    // ".xml" is another surface's is refused (KIVOSurfaceUtils::kNameTaken),
    // here and by the first commit.
    KIVOSurfaceCUBEIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData>& metadata,
                      _cube_param* parameters);
    // A surface around a header the caller made; takes the header over.
    KIVOSurfaceCUBEIO(const NORVAUString& path, const NORVACoordSystem& coordSystem,
                      std::unique_ptr<KIVOCUBEDataHeader>& header);
    // Copies move metadata, header, coordinate system and both caches over:
    // the source is left unusable.
    KIVOSurfaceCUBEIO(KIVOSurfaceCUBEIO& source);
    KIVOSurfaceCUBEIO& operator=(KIVOSurfaceCUBEIO& source);
    ~KIVOSurfaceCUBEIO() override;

    KIVOSurfaceAttributeTable* getAttributeInfo() override;
    const KIVOSurfaceAttributeTable* getAttributeInfo() const override;
    const NORVACoordSystem* getCoordSystem() const override;
    NORVAArray<double> getMinimum() const override;
    NORVAArray<double> getMaximum() const override;
    NORVAUString getSourceName() const override { return m_headerFileName; }
    KIVOSurfaceMetaData* getMetaData() override { return m_metadata.get(); }
    const KIVOSurfaceMetaData* getMetaData() const override { return m_metadata.get(); }
    // A CUBE node holds hypotheses, not attribute values: a generic edit is
    // refused with -1, so that none counts as kept. Soundings reach the
    // nodes through `getCubeNode`.
    long set(double, double, const KIVOAttributeSet&, const KIVODescriptor&, double) override { return -1; }
    void setModified(bool modified) override;
    long open() override { return 0; }
    long close() override;
    // Writes the header, the metadata and every modified grid of a surface
    // that has a header file name (those the edit cache staged included), as
    // one commit: after a crash or a failure the surface holds all of them
    // or none. Like every commit of the surface (flush, close), it does not
    // overwrite a surface another process stored since this object read it
    // (or was created over it): NORVASurfacePin::kChanged. Grids first read
    // after such a commit are refused the same way.
    long store(NORVAProgress* progress) override;
    long flush() override;
    bool isOutdated() const override { return m_outdated; }
    bool checkOutdated() override;
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    using KIVOSurfaceDataIO::query;
    // Fills the raster from the attribute's layers; -1 for an unknown attribute.
    long rasterize(rasterizeConfig& config) override;
    // Removes every file of the surface as one commit: header, metadata
    // (with the flag), grid and layer-cache files, the host's version 2 grid
    // set (CUBE::GridSet::getSetFiles), then the folders they leave empty.
    // 0 once the surface is gone; otherwise nothing was removed: a folder
    // stands where a file of the surface should (kRemoveFailed), something
    // named like a leftover of its commits is not one recovery removes
    // (kRemoveFailed), or, as for a store, another object committed the
    // surface since this one read it (NORVASurfacePin::kChanged). Grids
    // another object of the surface staged stay that object's: they go,
    // with the folder they leave empty, when it lets go of them.
    long deleteAllFiles(bool withMetadata) override;
    // The grid and layer-cache files, the version 2 grid set's files, then
    // the header and metadata names.
    long getAssociatedFiles(std::vector<NORVAUString>& files) const override;
    // Renames every file of the surface to the new stem in the same folder,
    // the version 2 grid set's folder with them, as one commit; refuses
    // (kRenameFailed) an existing target (any of the new name's files or
    // folders), and a grid or set folder that holds files not the surface's
    // own (a user's, another surface's folder of the same name), which stay
    // where they are; leaves everything as it was on failure. After a crash,
    // opening either name finishes it. Like a store, it refuses to move
    // files another object committed or renamed since this one read them,
    // even when renames brought them back under this name, or that changed
    // while it looked (NORVASurfacePin::kChanged).
    long rename(const NORVAUString& newName) override;

    uint64_t getHeldBytes() const override;
    void releaseCache() override;

    _cube_param* getCubeParameters() const;
    float getResolution() const;
    long getPixelDim(unsigned long& across, unsigned long& down) const;
    long getGridDim(unsigned long& across, unsigned long& down) const;
    CubeExtractor getDisambiguationType() const;
    const CUBEParameterFactory::Configuration& getCUBEConfig() const { return m_config; }
    // False when nothing changed or the header could not be rewritten.
    bool setDisambiguationType(CubeExtractor method);
    long deleteCacheFiles();

    _cube_node* getCubeNode(const double& x, const double& y, long& status, bool create);
    std::shared_ptr<_cubeEntry> getGrid(double x, double y, long& status, bool create);
    std::shared_ptr<_cubeEntry> getGrid(const _cubeGridIdx& index, long& status, bool create, bool stamp);
    long getGrids(std::vector<_cubeGridIdx>& out, double x0, double y0, double x1, double y1, bool unused);

    const KIVOCUBEDataHeader* getHeader() const { return m_header.get(); }
    const NORVAUString& getGridPrefix() const { return m_gridPrefix; }
    // The key of a grid as a newly created one would have it.
    _cubeGridIdx makeKey(uint16_t row, uint16_t column) const;

private:
    friend class CUBEEditCache;
    friend class KIVOCachedAttributeSet;
    friend class KIVOCUBECachedIter;
    friend class CUBELayerRaster;

    // The layer of one attribute of the grid `key` names by row and column,
    // or empty; `key` becomes the grid's full key and `emptyValue` the value
    // of a node without one.
    // A layer file another object's commit replaced or removed since this
    // object last saw the surface is not served: `status` becomes
    // NORVASurfacePin::kChanged (else it is left as it was).
    std::shared_ptr<std::vector<float>> getSurface(_cubeGridIdx& key, long attribute, float& emptyValue,
                                                   long& status);

    // Metadata and header from the files; may run more than once.
    long readFiles(const NORVAUString& path);
    void enterBudget();
    void setNames(const NORVAUString& path);
    NORVAUString surfaceBase() const;
    long writeHeaderFile() const;
    long rewriteHeaderFile() const;
    long writeHeaderAndMetadata();
    // For a read of a grid or layer file after the open: the surface's
    // folder held shared, 0 when the file (or its absence) is as this object
    // last saw the surface, else NORVASurfacePin::kChanged (see NORVASurfacePin).
    long holdFile(NORVASurfaceLock& hold, const NORVAUString& file) const { return m_pin.holdFile(hold, file); }
    // The grid folder held that file when this object last saw the surface.
    bool hadFile(const NORVAUString& file) const { return m_pin.listed(file); }
    // Nobody committed the surface since (a look, without a hold).
    bool unchanged() const { return m_pin.unchanged(); }
    // Writes the header (and metadata) when asked, every modified grid, the
    // staged ones and the removals as one commit; the grids become clean
    // once it is done.
    long commitChanges(bool header, bool metadata, const std::vector<NORVAUString>& removals);
    // What commits of this surface are journalled under.
    NORVAUString commitStem() const;
    // The host's version 2 grid set beside the header (see CUBE::GridSet).
    NORVAUString gridSetFolder() const;
    std::vector<NORVAUString> gridSetFiles() const;
    // What a delete removes, those present.
    std::vector<NORVAUString> filesToDelete(bool withMetadata, bool linked) const;
    // 0 when the delete may go ahead, else why it may not.
    long deletable(const std::vector<NORVAUString>& files) const;
    // Inside another surface's commit (a compound's members): at once, since
    // the folders must be empty when that one removes its own.
    long removeNow(const std::vector<NORVAUString>& files);
    void removeEmptiedFolders(bool linked, bool hadSet) const;
    std::vector<NORVAUString> cacheFiles() const;
    long flushCache(bool editCache, bool readCache);
    void printCache() const;
    std::set<NORVAUString> folderEntries() const;
    std::vector<NORVAUString> attributeNames(bool persistentOnly) const;
    bool hasPlainAttributeNames() const;
    // The grid folder is a symbolic link: what it points to is not this surface's.
    bool gridFolderIsLink() const;
    CUBERenamePlan planRename(const NORVAUString& header, const NORVAUString& prefix, const NORVAUString& newBase,
                              const NORVAUString& newName) const;
    std::vector<std::pair<NORVAUString, NORVAUString>> gridFileNames(const NORVAUString& prefix,
                                                                     const NORVAUString& newStem) const;
    bool copyHeader() const;
    bool localeChanged(const _cube_param* workspace, CubeExtractor method) const;
    void moveFrom(KIVOSurfaceCUBEIO& source);

    NORVAUString m_headerFileName;
    NORVASurfacePin m_pin;  // the header as read or last committed here
    NORVAUString m_gridPrefix;
    NORVAType<KIVOSurfaceXMLMetaData> m_metadata;
    bool m_outdated = false;
    // Made anew over the name: its first store replaces whatever surface
    // held the name, a version 2 grid set left there included.
    bool m_replacesGridSet = false;
    CUBEEditCache m_editCache;
    CUBELayerCache m_readCache;
    std::unique_ptr<KIVOCUBEDataHeader> m_header;
    CUBEParameterFactory::Configuration m_config;
    std::unique_ptr<NORVACoordSystem> m_coordSystem;
};
