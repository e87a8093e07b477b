#include "cube/KIVOSurfaceCUBEIO.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>

#include "core/KIVOBuiltInFormats.h"
#include "core/KIVOSurfaceOpen.h"
#include "core/SurfaceAttributeNames.h"
#include "cube/CUBEGridSet.h"
#include "cube/CUBELayerFile.h"
#include "cube/CUBELayerRaster.h"
#include "cube/CUBERenamePlan.h"
#include "cube/KIVOCUBECachedIter.h"
#include "cube_engine/cube_grid.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAEnvironment.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVASurfaceLock.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/proj/NORVAScaler.h"

namespace {

NORVAType<KIVOSurfaceDataIO> createCUBESurface(const NORVAUString& path) {
    return NORVAType<KIVOSurfaceDataIO>(new (std::nothrow) KIVOSurfaceCUBEIO(path));
}

const bool kRegistered =
    (KIVOBuiltInFormats::provideCreator(KIVOBuiltInFormats::CUBE_SLOT, &createCUBESurface), true);

std::string narrow(const NORVAUString& s) { return s.toUTF8(); }

NORVAUString leafName(const NORVAUString& path) {
    const int32_t slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.substring(slash + 1);
}

// Grid row or column under a distance from the north or west edge.
uint16_t gridIndex(double distance, double inverse) {
    const double index = std::trunc(distance * inverse);
    return index >= 0.0 && index < CUBEGridIdx::kInvalid ? static_cast<uint16_t>(index) : CUBEGridIdx::kInvalid;
}

}  // namespace

KIVOSurfaceCUBEIO::KIVOSurfaceCUBEIO(const NORVAUString& path) {
    enterBudget();
    NORVAUString drive, folder, stem;
    PathUtilities::parsePath(path, &drive, &folder, &stem, nullptr);
    // A commit a crash cut short is finished before any file is read, and
    // header and metadata are read again when a commit replaced them
    // meanwhile.
    const NORVAUString base = drive + folder + stem;
    m_pin.watchFolder();
    m_status = NORVAFileTransaction::readCommitted(base, base + ".vcs", m_pin, kHeaderNotOpened,
                                                   [&] { return readFiles(path); });
}

long KIVOSurfaceCUBEIO::readFiles(const NORVAUString& path) {
    NORVAUString drive, folder, stem;
    PathUtilities::parsePath(path, &drive, &folder, &stem, nullptr);
    m_header.reset();
    m_metadata.reset(new KIVOSurfaceXMLMetaData(drive + folder + stem + ".xml"));
    if (m_metadata->getStatus() != 0) {
        printf("CUBE Surface read failed.  Unable to read meta data file.\n");
        return m_metadata->getStatus();
    }
    if (!hasPlainAttributeNames()) {
        printf("CUBE Surface read failed.  An attribute name cannot name a layer file.\n");
        return kBadAttributeName;
    }
    setNames(path);
    FILE* file = NORVAFileUtils::openRegularFile(narrow(m_headerFileName).c_str());
    if (file == nullptr) {
        printf("CUBE Surface read failed.  Unable to open header.\n");
        return kHeaderNotOpened;
    }
    m_header.reset(new KIVOCUBEDataHeader(file));
    std::fclose(file);
    if (m_header->getStatus() != 0) {
        printf("CUBE Surface read failed.  Header is invalid.\n");
        const long status = m_header->getStatus();
        m_header.reset();
        return status;
    }
    m_header->print(static_cast<FILE*>(nullptr));
    m_config.load(m_metadata->getProcessMetaData());
    return 0;
}

KIVOSurfaceCUBEIO::KIVOSurfaceCUBEIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData>& metadata,
                                     _cube_param* parameters) {
    enterBudget();
    if (!metadata || metadata->getStatus() != 0) {
        printf("CUBE Surface creation failed.  Meta data is invalid\n");
        m_status = metadata ? metadata->getStatus() : kNoMetaData;
        std::free(parameters);
        return;
    }
    m_metadata = std::move(metadata);
    if (!hasPlainAttributeNames()) {
        printf("CUBE Surface creation failed.  An attribute name cannot name a layer file.\n");
        m_status = kBadAttributeName;
        std::free(parameters);
        return;
    }
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0, resolutionX = 0.0, resolutionY = 0.0;
    m_metadata->getCover(minX, minY, maxX, maxY);
    m_metadata->getResolution(resolutionX, resolutionY);
    if (const NORVACoordSystem* coordSystem = getCoordSystem()) {
        coordSystem->getScaler().snap(minX, minY);
        coordSystem->getScaler().snap(maxX, maxY);
    }
    m_header.reset(new KIVOCUBEDataHeader(NORVAArray<double>{minX, minY}, NORVAArray<double>{maxX, maxY},
                                          static_cast<float>(resolutionX), parameters));
    if (m_header->getStatus() != 0) {
        printf("CUBE Surface creation failed.  Header is invalid (%d)\n", static_cast<int>(m_header->getStatus()));
        m_status = m_header->getStatus();
        m_header.reset();
        return;
    }
    m_header->print(static_cast<FILE*>(nullptr));
    const NORVAArray<double>& low = m_header->getMinimum();
    const NORVAArray<double>& high = m_header->getMaximum();
    m_metadata->setLowerLeft(low[0], low[1]);
    m_metadata->setDimensions(high[0] - low[0], high[1] - low[1]);
    setNames(path);
    m_replacesGridSet = true;
    if ((m_status = KIVOSurfaceUtils::checkNameFree(m_headerFileName)) != 0) {
        printf("CUBE Surface creation failed.  %s\n", KIVOSurfaceUtils::kNameTakenMessage);
        return;
    }
    // Created over another surface, it may replace that one, and only that.
    (void)NORVAFileTransaction::recover(surfaceBase());
    m_pin.watchFolder();
    m_pin.take(m_headerFileName);
    m_config.load(m_metadata->getProcessMetaData());
}

KIVOSurfaceCUBEIO::KIVOSurfaceCUBEIO(const NORVAUString& path, const NORVACoordSystem& coordSystem,
                                     std::unique_ptr<KIVOCUBEDataHeader>& header) {
    enterBudget();
    std::unique_ptr<KIVODescriptor> descriptor = CUBEUtils::getDescriptor(false);
    NORVAType<KIVOSurfaceAttributeTable> table(new KIVOSurfaceAttributeTable(KIVOMetaAttribute(*descriptor)));
    m_metadata.reset(new KIVOSurfaceXMLMetaData(std::move(table), NORVAUString()));
    if (m_metadata->getStatus() != 0) {
        printf("CUBE Surface read failed.  Unable to read meta data file.\n");
        m_status = m_metadata->getStatus();
        return;
    }
    m_coordSystem.reset(new NORVACoordSystem(coordSystem));
    m_gridPrefix = path;
    m_header = std::move(header);
    if (m_header && m_header->getStatus() == 0) {
        m_config.load(m_header->getCubeParams());
        return;
    }
    printf("CUBE Surface read failed.  Header is invalid.\n");
    m_status = m_header ? m_header->getStatus() : kNoHeader;
    m_header.reset();
}

KIVOSurfaceCUBEIO::KIVOSurfaceCUBEIO(KIVOSurfaceCUBEIO& source) : KIVOSurfaceDataIO(source), KIVOResourceMember() {
    enterBudget();
    moveFrom(source);
}

KIVOSurfaceCUBEIO& KIVOSurfaceCUBEIO::operator=(KIVOSurfaceCUBEIO& source) {
    if (this == &source) return *this;
    flushCache(true, true);
    KIVOSurfaceDataIO::operator=(source);
    moveFrom(source);
    return *this;
}

// The caches go with the header they belong to: shared, both surfaces would
// write the same grids and charge the budget for them twice.
void KIVOSurfaceCUBEIO::moveFrom(KIVOSurfaceCUBEIO& source) {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    m_headerFileName = source.m_headerFileName;
    m_pin = source.m_pin;
    source.m_pin.clear();
    m_gridPrefix = source.m_gridPrefix;
    m_outdated = source.m_outdated;
    m_replacesGridSet = source.m_replacesGridSet;
    m_config = source.m_config;
    m_metadata = std::move(source.m_metadata);
    m_header = std::move(source.m_header);
    m_coordSystem = std::move(source.m_coordSystem);
    m_editCache = std::move(source.m_editCache);
    m_readCache = std::move(source.m_readCache);
    source.m_editCache.clear();
    source.m_readCache.clear();
}

KIVOSurfaceCUBEIO::~KIVOSurfaceCUBEIO() {
    KIVOResourceManager::m_instance.remove(this);
    flushCache(true, true);
}

// Every surface takes part in the budget, so that what its caches hold is
// counted and other surfaces can make it let go.
void KIVOSurfaceCUBEIO::enterBudget() { KIVOResourceManager::m_instance.add(this); }

void KIVOSurfaceCUBEIO::setNames(const NORVAUString& path) {
    NORVAUString drive, folder, stem;
    PathUtilities::parsePath(path, &drive, &folder, &stem, nullptr);
    m_headerFileName = drive + folder + stem + ".vcs";
    m_gridPrefix = PathUtilities::appendPath(drive + folder + stem, stem);
    m_editCache.tidyFolders(true);
}

// The path of the surface without extension (folder and stem), empty for a
// surface without a header file.
NORVAUString KIVOSurfaceCUBEIO::surfaceBase() const {
    if (m_headerFileName.isEmpty()) return NORVAUString();
    NORVAUString drive, folder, stem;
    PathUtilities::parsePath(m_headerFileName, &drive, &folder, &stem, nullptr);
    return drive + folder + stem;
}

KIVOSurfaceAttributeTable* KIVOSurfaceCUBEIO::getAttributeInfo() {
    return m_metadata ? m_metadata->getAttributeTable() : nullptr;
}

const KIVOSurfaceAttributeTable* KIVOSurfaceCUBEIO::getAttributeInfo() const {
    return m_metadata ? m_metadata->getAttributeTable() : nullptr;
}

const NORVACoordSystem* KIVOSurfaceCUBEIO::getCoordSystem() const {
    if (m_coordSystem) return m_coordSystem.get();
    long status = 0;
    return m_metadata ? m_metadata->getCoordSystem(status) : nullptr;
}

NORVAArray<double> KIVOSurfaceCUBEIO::getMinimum() const {
    return m_header ? m_header->getMinimum() : NORVAArray<double>();
}

NORVAArray<double> KIVOSurfaceCUBEIO::getMaximum() const {
    return m_header ? m_header->getMaximum() : NORVAArray<double>();
}

void KIVOSurfaceCUBEIO::setModified(bool modified) {
    if (modified == m_modified) return;
    m_modified = modified;
    if (!modified) {
        KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
        m_editCache.markClean();
    }
}

long KIVOSurfaceCUBEIO::close() { return flushCache(true, true); }

long KIVOSurfaceCUBEIO::store(NORVAProgress*) {
    if (m_headerFileName.isEmpty()) return 0;
    if (!m_header) return kNoHeader;
    if (!m_metadata) return kNoMetaData;
    return commitChanges(true, true, {});
}

long KIVOSurfaceCUBEIO::writeHeaderAndMetadata() {
    const long status = writeHeaderFile();
    if (status != 0) return status;
    m_metadata->setFileName(surfaceBase() + ".xml");
    return m_metadata->store();
}

NORVAUString KIVOSurfaceCUBEIO::commitStem() const {
    const NORVAUString base = surfaceBase();
    return base.isEmpty() ? m_gridPrefix : base;
}

NORVAUString KIVOSurfaceCUBEIO::gridSetFolder() const {
    return m_headerFileName.isEmpty() ? NORVAUString() : CUBE::GridSet::getOutputFolder(m_headerFileName);
}

std::vector<NORVAUString> KIVOSurfaceCUBEIO::gridSetFiles() const {
    if (m_headerFileName.isEmpty()) return {};
    return CUBE::GridSet::getSetFiles(m_headerFileName);
}

long KIVOSurfaceCUBEIO::commitChanges(bool header, bool metadata, const std::vector<NORVAUString>& removals) {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    std::vector<CUBEEditCache::Entry> written;
    const bool gridsModified = m_editCache.hasModified();
    // A surface that changed nothing writes nothing, not even a journal.
    if (!header && !metadata && !gridsModified && removals.empty()) return 0;
    const NORVAUString stem = commitStem();
    if (const long recovered = NORVAFileTransaction::recoverStatus(stem, kCommitFailed)) return recovered;
    NORVAFileTransaction transaction(stem);
    transaction.guard(m_pin);
    long status = KIVOSurfaceUtils::requireNameFree(transaction, m_headerFileName, m_pin);
    if (status == 0) status = metadata ? writeHeaderAndMetadata() : header ? writeHeaderFile() : rewriteHeaderFile();
    if (status == 0) status = m_editCache.writeModified(*this, transaction, written);
    if (status != 0) return status;
    for (const NORVAUString& path : removals) transaction.remove(path);
    // A grid set left under the name is another surface's: the host would
    // read its nodes as this one's.
    const bool replacingSet = m_replacesGridSet && (header || metadata);
    const std::vector<NORVAUString> oldSet = replacingSet ? gridSetFiles() : std::vector<NORVAUString>();
    for (const NORVAUString& path : oldSet) transaction.remove(path);
    status = transaction.commitStatus(kCommitFailed);
    if (status != 0) return status;
    m_editCache.committed(written);
    if (replacingSet) m_replacesGridSet = false;
    if (!oldSet.empty()) NORVAFileUtils::removeDirectory(gridSetFolder());
    return 0;
}

long KIVOSurfaceCUBEIO::writeHeaderFile() const {
    if (!m_header || m_headerFileName.isEmpty()) return kNoHeader;
    NORVAAtomicFile file;
    if (!file.open(m_headerFileName)) return kHeaderNotOpened;
    const long status = m_header->store(file.file());
    if (status != 0) return status;
    return file.commit() ? 0 : KIVOCUBEDataHeader::kWriteFailed;
}

// Every commit replaces the header, the surface's main file, so that other
// objects of the surface see that it changed (NORVASurfacePin); a commit of
// grids alone writes it back as it is on disk.
long KIVOSurfaceCUBEIO::rewriteHeaderFile() const {
    if (m_headerFileName.isEmpty() || !NORVAFileUtils::isRegularFile(m_headerFileName)) return 0;
    return NORVAFileUtils::copyFile(m_headerFileName, m_headerFileName) ? 0 : KIVOCUBEDataHeader::kWriteFailed;
}

long KIVOSurfaceCUBEIO::flush() {
    printf("Calling flush for surface %s\n", narrow(m_headerFileName).c_str());
    printf("Cache before flush\n");
    printCache();
    const long status = flushCache(true, true);
    printf("Cache after flush\n");
    printCache();
    return status;
}

// Grids written here stay cached as clean: a host may still edit them
// through an entry or a node pointer it holds, and those edits must land in
// the grid the cache writes. Clean grids no caller holds go first. Both
// caches change only with the budget's lock held: the budget reads and
// releases them from other surfaces' threads.
long KIVOSurfaceCUBEIO::flushCache(bool editCache, bool readCache) {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    printCache();
    if (readCache) m_readCache.clear();
    long status = 0;
    if (editCache) {
        m_editCache.dropClean();
        status = commitChanges(false, false, {});
    }
    printCache();
    return status;
}

void KIVOSurfaceCUBEIO::printCache() const {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    if (m_editCache.empty() && m_readCache.empty()) {
        printf("\tCache is empty\n");
        return;
    }
    printf("\n** Begin cache dump **\n");
    m_editCache.print();
    m_readCache.print();
}

uint64_t KIVOSurfaceCUBEIO::getHeldBytes() const {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    return m_editCache.heldBytes() + m_readCache.heldBytes();
}

// For the budget, from whichever thread needs room: what a caller of this
// surface holds is left alone, neither read nor written. Modified grids go
// to their staged files, never into a commit: the surface's files change
// only when the surface itself commits.
void KIVOSurfaceCUBEIO::releaseCache() {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    printCache();
    m_readCache.clear();
    m_editCache.releaseUnheld(*this);
    printCache();
}

bool KIVOSurfaceCUBEIO::checkOutdated() {
    if (m_outdated) return true;
    // A surface whose header was never written has nothing to be older than.
    int64_t headerTime = 0;
    if (!NORVAFileUtils::modificationTime(m_headerFileName, headerTime)) return false;
    const KIVOSurfaceMetaData* metadata = getMetaData();
    if (metadata == nullptr) return false;
    const NORVAUString dataPath = NORVAEnvironment::getVar("ZDRS_DATA_PATH");
    for (const KIVOSourceItem& item : metadata->getSourceRecord().items) {
        if (item.key != SurfaceAttributeNames::kSurveyLine) continue;
        for (const char* part : {"ProcessedDepths", "TPE"}) {
            int64_t time = 0;
            const NORVAUString path = PathUtilities::appendPath(PathUtilities::appendPath(dataPath, item.value), part);
            if (!NORVAFileUtils::modificationTime(path, time)) return m_outdated;
            if (time > headerTime) m_outdated = true;
        }
    }
    return m_outdated;
}

namespace {

// An iterator whose construction failed is not handed out; the query itself
// still succeeds with nothing to walk, unless what it would have walked was
// refused as changed by another object's commit.
NORVAType<KIVOSurfaceIter> handOut(std::unique_ptr<KIVOCUBECachedIter> iter, long& status) {
    if (iter && iter->getStatus() == NORVASurfacePin::kChanged) status = iter->getStatus();
    if (!iter || iter->getStatus() != 0) return NORVAType<KIVOSurfaceIter>();
    return NORVAType<KIVOSurfaceIter>(iter.release());
}

}  // namespace

NORVAType<KIVOSurfaceIter> KIVOSurfaceCUBEIO::query(double x0, double y0, double x1, double y1, bool, long& status,
                                                    NORVAProgress* progress, double) {
    status = 0;
    return handOut(std::make_unique<KIVOCUBECachedIter>(*this, x0, y0, x1, y1, progress), status);
}

NORVAType<KIVOSurfaceIter> KIVOSurfaceCUBEIO::query(const NORVAGeometry& geometry, bool, long& status,
                                                    NORVAProgress* progress, double) {
    status = 0;
    if (const auto* area = dynamic_cast<const NORVAAreaGeometry*>(&geometry))
        return handOut(std::make_unique<KIVOCUBECachedIter>(*this, *area, progress), status);
    if (const auto* point = dynamic_cast<const NORVAPointGeometry*>(&geometry))
        return handOut(std::make_unique<KIVOCUBECachedIter>(*this, *point, progress), status);
    if (const auto* line = dynamic_cast<const NORVALineGeometry*>(&geometry))
        return handOut(std::make_unique<KIVOCUBECachedIter>(*this, *line, progress), status);
    return NORVAType<KIVOSurfaceIter>();
}

long KIVOSurfaceCUBEIO::rasterize(rasterizeConfig& config) { return CUBELayerRaster(*this).fill(config); }

std::shared_ptr<std::vector<float>> KIVOSurfaceCUBEIO::getSurface(_cubeGridIdx& key, long attribute,
                                                                  float& emptyValue, long& status) {
    emptyValue = FLT_MAX;
    const KIVOSurfaceAttributeTable* table = getAttributeInfo();
    if (!m_header || table == nullptr || key.row >= m_header->getGridsDown() ||
        key.column >= m_header->getGridsAcross())
        return nullptr;
    const long attributes = table->getNumAttributes();
    if (attribute < 0 || attribute >= attributes) return nullptr;
    key = makeKey(key.row, key.column);
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    CUBELayerCache::Layer layer;
    if (m_readCache.lookup(key, attribute, layer)) return layer;
    const NORVAUString file = CUBEUtils::layerFileName(m_gridPrefix, table->getDescriptor().getAttributeName(attribute),
                                                       key.row, key.column);
    CUBELayerFile layerFile;
    {
        // Opened as of the generation this object read (an open file reads
        // on as it was): one another commit replaced or removed since is not
        // served, and says so.
        NORVASurfaceLock reading;
        const long held = holdFile(reading, file);
        if (held != 0) {
            status = held;
            return nullptr;
        }
        if (!layerFile.open(file, key)) return nullptr;
    }
    return m_readCache.fetch(key, attribute, static_cast<size_t>(attributes), layerFile, this);
}

std::vector<NORVAUString> KIVOSurfaceCUBEIO::attributeNames(bool persistentOnly) const {
    std::vector<NORVAUString> names;
    const KIVOSurfaceAttributeTable* table = getAttributeInfo();
    if (table == nullptr) return names;
    const KIVODescriptor& descriptor = table->getDescriptor();
    const long count = persistentOnly ? descriptor.getNumberOfPersistent() : descriptor.getNumberOfAttributes();
    for (long i = 0; i < count; ++i) names.push_back(descriptor.getAttributeName(i));
    return names;
}

// Layer-cache file names are made from these names: each must stay one
// name inside the grid folder.
bool KIVOSurfaceCUBEIO::hasPlainAttributeNames() const {
    for (const NORVAUString& name : attributeNames(false))
        if (!PathUtilities::isPlainName(name)) return false;
    return true;
}

bool KIVOSurfaceCUBEIO::gridFolderIsLink() const {
    const NORVAUString base = surfaceBase();
    return !base.isEmpty() && NORVAFileUtils::isSymbolicLink(base);
}

// One listing of the grid folder answers every "does it exist" of a scan
// over all grids, which may run to thousands.
std::set<NORVAUString> KIVOSurfaceCUBEIO::folderEntries() const {
    std::vector<NORVAUString> names;
    NORVAFileUtils::listDirectory(PathUtilities::folderOf(m_gridPrefix + ".vcg"), names);
    return std::set<NORVAUString>(names.begin(), names.end());
}

std::vector<NORVAUString> KIVOSurfaceCUBEIO::cacheFiles() const {
    std::vector<NORVAUString> files;
    if (!m_header) return files;
    const std::set<NORVAUString> present = folderEntries();
    const std::vector<NORVAUString> attributes = attributeNames(true);
    for (uint32_t row = 0; row < m_header->getGridsDown(); ++row)
        for (uint32_t column = 0; column < m_header->getGridsAcross(); ++column)
            for (const NORVAUString& attribute : attributes) {
                const NORVAUString name = CUBEUtils::layerFileName(m_gridPrefix, attribute, row, column);
                if (present.count(leafName(name)) != 0) files.push_back(name);
            }
    return files;
}

// Every file is tried; a layer left behind would be served again as this
// surface's values, so it is reported.
long KIVOSurfaceCUBEIO::deleteCacheFiles() {
    long status = 0;
    for (const NORVAUString& name : cacheFiles())
        if (!NORVAFileUtils::removeFile(name)) status = kRemoveFailed;
    return status;
}

// Lists the folders rather than looking for each name a grid could have.
std::vector<NORVAUString> KIVOSurfaceCUBEIO::filesToDelete(bool withMetadata, bool linked) const {
    std::vector<NORVAUString> files;
    const NORVAUString base = surfaceBase();
    // A grid folder that is a symbolic link goes as a link: the files it
    // points to are someone else's, whatever their names.
    if (linked) {
        files.push_back(base);
    } else if (m_header) {
        files = cacheFiles();
        const std::set<NORVAUString> present = folderEntries();
        for (uint32_t row = 0; row < m_header->getGridsDown(); ++row)
            for (uint32_t column = 0; column < m_header->getGridsAcross(); ++column) {
                const NORVAUString name = CUBEUtils::gridFileName(m_gridPrefix, row, column);
                if (present.count(leafName(name)) != 0) files.push_back(name);
            }
    }
    if (base.isEmpty()) return files;
    for (const NORVAUString& file : gridSetFiles()) files.push_back(file);
    files.push_back(base + ".vcs");
    if (withMetadata) files.push_back(base + ".xml");
    return files;
}

// Nothing is removed unless everything can be: a folder in place of a file
// would stay (a commit removes a folder whole, and this one is no file of
// the surface's), and so would a leftover recovery does not take.
long KIVOSurfaceCUBEIO::deletable(const std::vector<NORVAUString>& files) const {
    for (const NORVAUString& file : files)
        if (!NORVAFileUtils::isSymbolicLink(file) && NORVAFileUtils::isDirectory(file)) return kRemoveFailed;
    return NORVAFileTransaction::abandoned(commitStem()).empty() ? 0 : kRemoveFailed;
}

// Every file is tried. One left behind is reported: a grid would be read as
// a node of the next surface made under this name.
long KIVOSurfaceCUBEIO::removeNow(const std::vector<NORVAUString>& files) {
    long status = 0;
    for (const NORVAUString& file : files)
        if (NORVAFileUtils::isOccupied(file) && !NORVAFileUtils::removeFile(file)) status = kRemoveFailed;
    return status;
}

// Only an empty folder goes: files of others in it stay, with their folder.
// The set's folder goes only when the surface had a set there: otherwise it
// is someone else's, empty or not.
void KIVOSurfaceCUBEIO::removeEmptiedFolders(bool linked, bool hadSet) const {
    const NORVAUString base = surfaceBase();
    if (base.isEmpty()) return;
    if (!linked) NORVAFileUtils::removeDirectory(base);
    if (hadSet && !NORVAFileUtils::isSymbolicLink(gridSetFolder())) NORVAFileUtils::removeDirectory(gridSetFolder());
}

long KIVOSurfaceCUBEIO::deleteAllFiles(bool withMetadata) {
    // Nothing cached may be written back over the deleted surface later.
    {
        KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
        m_editCache.clear();
        m_readCache.clear();
    }
    const NORVAUString stem = commitStem();
    // What a crash left is finished first, so that no temporary outlives the surface.
    if (!stem.isEmpty())
        if (const long recovered = NORVAFileTransaction::recoverStatus(stem, kRemoveFailed)) return recovered;
    const bool linked = gridFolderIsLink(), hadSet = !gridSetFiles().empty();
    const std::vector<NORVAUString> files = filesToDelete(withMetadata, linked);
    printf("Removing all files for CUBE surface %s\n", narrow(m_headerFileName).c_str());
    if (surfaceBase().isEmpty()) return removeNow(files);
    long status = 0;
    if (NORVAFileTransaction::current() != nullptr) {
        status = removeNow(files);
        if (!NORVAFileTransaction::abandoned(stem).empty()) status = kRemoveFailed;
    } else {
        status = deletable(files);
        if (status != 0) return status;
        // As a store: other objects of the surface see that it changed, and
        // a crash leaves it whole or gone.
        NORVAFileTransaction transaction(stem);
        transaction.guard(m_pin);
        for (const NORVAUString& file : files) transaction.remove(file);
        status = transaction.commitStatus(kRemoveFailed);
        if (status != 0) return status;
    }
    removeEmptiedFolders(linked, hadSet);
    KIVOSurfaceUtils::delete3DTerrainFiles(m_headerFileName);
    return status;
}

long KIVOSurfaceCUBEIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    if (m_header) {
        const std::set<NORVAUString> present = folderEntries();
        const std::vector<NORVAUString> attributes = attributeNames(true);
        for (uint32_t row = 0; row < m_header->getGridsDown(); ++row)
            for (uint32_t column = 0; column < m_header->getGridsAcross(); ++column) {
                const NORVAUString grid = CUBEUtils::gridFileName(m_gridPrefix, row, column);
                if (present.count(leafName(grid)) == 0) continue;
                files.push_back(grid);
                for (const NORVAUString& attribute : attributes) {
                    const NORVAUString layer = CUBEUtils::layerFileName(m_gridPrefix, attribute, row, column);
                    if (present.count(leafName(layer)) != 0) files.push_back(layer);
                }
            }
    }
    const NORVAUString base = surfaceBase();
    if (base.isEmpty()) return 0;
    for (const NORVAUString& file : gridSetFiles()) files.push_back(file);
    files.push_back(base + ".vcs");
    files.push_back(base + ".xml");
    return 0;
}

long KIVOSurfaceCUBEIO::rename(const NORVAUString& newName) {
    // The budget may write this surface's grids from another thread: never
    // while they move.
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    const NORVAUString base = surfaceBase();
    // Grid files behind a linked grid folder are not this surface's to move.
    if (!m_header || base.isEmpty() || !PathUtilities::isPlainName(newName) || gridFolderIsLink())
        return kRenameFailed;
    NORVAUString drive, folder, stem;
    PathUtilities::parsePath(m_headerFileName, &drive, &folder, &stem, nullptr);
    if (newName == stem) return 0;
    const NORVAUString newBase = drive + folder + newName;
    if (const long recovered = NORVAFileTransaction::recoverStatus(base, kRenameFailed)) return recovered;
    const NORVAUString header = m_headerFileName, prefix = m_gridPrefix;
    const CUBERenamePlan plan = planRename(header, prefix, newBase, newName);
    if (plan.status() != 0) return plan.status();
    // Like a store, a rename moves only the files this object read, and
    // what it moves is looked at again once nobody else commits there.
    NORVAFileTransaction transaction(base);
    transaction.guard(m_pin, newBase + ".vcs");
    transaction.journalAlsoAt(newBase);
    // The header is replaced by a copy of itself before it moves, as every
    // commit replaces it: an object that read the surface before other
    // renames brought it back under this name finds it changed. The copy is
    // written under the old name, whose open sweeps it up after a crash.
    if (NORVAFileUtils::exists(base + ".vcs") && !copyHeader()) return kRenameFailed;
    transaction.move(base + ".vcs", newBase + ".vcs");
    plan.planInto(transaction);
    // Nested in a compound's rename, this runs in the compound's commit.
    transaction.require([this, plan, header, prefix, newBase, newName] {
        const CUBERenamePlan now = planRename(header, prefix, newBase, newName);
        return now.status() != 0 ? now.status() : now != plan ? NORVASurfacePin::kChanged : 0L;
    });
    if (const long status = transaction.commitStatus(kRenameFailed)) return status;
    m_headerFileName = newBase + ".vcs";
    if (m_metadata) m_metadata->setFileName(newBase + ".xml");
    m_gridPrefix = PathUtilities::appendPath(newBase, newName);
    // Edited grids staged in the folder moved with it, to be committed under the new name.
    m_editCache.followFolder(m_gridPrefix);
    return 0;
}

// The metadata, the grid folder with the grid and layer-cache files in it,
// and the host's version 2 grid set (see CUBE::GridSet::getSetFiles) when
// there is one: the set folder is named like other surfaces' folders, and
// only the set's files in it are this surface's. Nothing may stand under
// the new name. The header is not part of it. From the names given, not
// the object's: nested in a compound's rename, the object has taken its
// new name by the time the compound's commit looks again.
CUBERenamePlan KIVOSurfaceCUBEIO::planRename(const NORVAUString& header, const NORVAUString& prefix,
                                             const NORVAUString& newBase, const NORVAUString& newName) const {
    NORVAUString drive, folder, stem;
    PathUtilities::parsePath(header, &drive, &folder, &stem, nullptr);
    const NORVAUString base = drive + folder + stem;
    const NORVAUString setFolder = CUBE::GridSet::getOutputFolder(header),
                       newSetFolder = CUBE::GridSet::getOutputFolder(newBase + ".vcs");
    CUBERenamePlan plan(kRenameFailed);
    for (const NORVAUString& taken : {newBase + ".vcs", newBase + ".xml", newBase, newSetFolder})
        plan.requireFree(taken);
    // A set folder that is a link leads to files that are not this surface's to move.
    if (NORVAFileUtils::isSymbolicLink(setFolder)) return CUBERenamePlan(kRenameFailed);
    plan.moveFile(base + ".xml", newBase + ".xml");
    if (NORVAFileUtils::isDirectory(base)) plan.moveFolder(base, newBase, gridFileNames(prefix, newName));
    std::vector<CUBERenamePlan::Renamed> set;
    for (const NORVAUString& file : CUBE::GridSet::getSetFiles(header)) set.emplace_back(leafName(file), leafName(file));
    if (!set.empty()) plan.moveFolder(setFolder, newSetFolder, set);
    return plan;
}

// The grid and layer-cache files named from `prefix` in the grid folder,
// with the names they take under the new stem.
std::vector<CUBERenamePlan::Renamed> KIVOSurfaceCUBEIO::gridFileNames(const NORVAUString& prefix,
                                                                      const NORVAUString& newStem) const {
    std::vector<CUBERenamePlan::Renamed> names;
    std::vector<NORVAUString> listed;
    NORVAFileUtils::listDirectory(PathUtilities::folderOf(prefix + ".vcg"), listed);
    const std::set<NORVAUString> present(listed.begin(), listed.end());
    const std::vector<NORVAUString> attributes = attributeNames(false);
    auto add = [&](const NORVAUString& from, const NORVAUString& to) {
        if (present.count(leafName(from)) != 0) names.emplace_back(leafName(from), leafName(to));
    };
    for (uint32_t row = 0; row < m_header->getGridsDown(); ++row)
        for (uint32_t column = 0; column < m_header->getGridsAcross(); ++column) {
            add(CUBEUtils::gridFileName(prefix, row, column), CUBEUtils::gridFileName(newStem, row, column));
            for (const NORVAUString& attribute : attributes)
                add(CUBEUtils::layerFileName(prefix, attribute, row, column),
                    CUBEUtils::layerFileName(newStem, attribute, row, column));
        }
    return names;
}

// The header's bytes as a new file in its place, staged in the open
// transaction, with the time it was last written: whether the surface is
// older than its sources is judged by it.
bool KIVOSurfaceCUBEIO::copyHeader() const {
    FILE* in = NORVAFileUtils::openRegularFile(m_headerFileName);
    if (in == nullptr) return false;
    NORVAAtomicFile out;
    bool ok = out.open(m_headerFileName);
    char buffer[4096];
    size_t n = 0;
    while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok = out.write(buffer, n);
    struct stat st;
    ok = ok && !std::ferror(in) && ::fstat(::fileno(in), &st) == 0 && std::fflush(out.file()) == 0;
    std::fclose(in);
    if (!ok) return false;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    const std::string temporary = out.temporaryPath().toUTF8();
    return ::utimensat(AT_FDCWD, temporary.c_str(), times, 0) == 0 && out.commit();
}

_cube_param* KIVOSurfaceCUBEIO::getCubeParameters() const { return m_header ? m_header->getCubeParams() : nullptr; }

float KIVOSurfaceCUBEIO::getResolution() const { return m_header ? m_header->getResolution() : 0.0f; }

long KIVOSurfaceCUBEIO::getPixelDim(unsigned long& across, unsigned long& down) const {
    across = m_header ? m_header->getNumXPixels() : 0;
    down = m_header ? m_header->getNumYPixels() : 0;
    return 0;
}

long KIVOSurfaceCUBEIO::getGridDim(unsigned long& across, unsigned long& down) const {
    across = down = m_header ? m_header->getGridSize() : 0;
    return 0;
}

CubeExtractor KIVOSurfaceCUBEIO::getDisambiguationType() const {
    const _cube_param* params = getCubeParameters();
    return params != nullptr ? static_cast<CubeExtractor>(params->mthd) : CUBE_UNKNOWN;
}

bool KIVOSurfaceCUBEIO::localeChanged(const _cube_param* workspace, CubeExtractor method) const {
    if (method != CUBE_LOCALE && method != CUBE_DENSITY_LOCALE) return false;
    const _cube_param* held = m_header->getCubeParams();
    // Written so that a NaN on either side counts as a difference.
    return !(workspace->locale_strength_max == held->locale_strength_max) ||
           !(workspace->density_strength_cutoff == held->density_strength_cutoff) ||
           workspace->locale_radius != held->locale_radius ||
           workspace->enable_null_hypothesis != held->enable_null_hypothesis;
}

bool KIVOSurfaceCUBEIO::setDisambiguationType(CubeExtractor method) {
    // The parameter block is what the budget writes grids with.
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    if (!m_header || m_header->getCubeParams() == nullptr) return false;
    std::unique_ptr<_cube_param, void (*)(void*)> workspace(CUBEUtils::getParams(0, m_header->getResolution()),
                                                             &std::free);
    if (!workspace) return false;
    _cube_param* held = m_header->getCubeParams();
    if (static_cast<uint32_t>(method) == held->mthd && !localeChanged(workspace.get(), method)) {
        printf("Disambiguation method not changed.\n");
        return false;
    }
    NORVAUString name;
    CUBEUtils::disamTypeToString(method, name);
    printf("Changing disambiguation method:\n\tMethod:%s\n\tLocale Strenght Max: %3.2f\n\tDensity Strength Cutoff: "
           "%3.2f\n\tLocale Radius: %d\n",
           narrow(name).c_str(), static_cast<double>(workspace->locale_strength_max),
           static_cast<double>(workspace->density_strength_cutoff), static_cast<int>(workspace->locale_radius));
    held->mthd = static_cast<uint32_t>(method);
    held->locale_strength_max = workspace->locale_strength_max;
    held->density_strength_cutoff = workspace->density_strength_cutoff;
    held->locale_radius = workspace->locale_radius;
    held->enable_null_hypothesis = workspace->enable_null_hypothesis;
    // The layers were extracted with the old method: they leave memory, and
    // leave the disk in the same commit as the edited grids and the header
    // that names the new method.
    flushCache(false, true);
    m_editCache.dropClean();
    return commitChanges(!m_modified, false, cacheFiles()) == 0;
}

KIVOSurfaceCUBEIO::_cubeGridIdx KIVOSurfaceCUBEIO::makeKey(uint16_t row, uint16_t column) const {
    _cubeGridIdx key;
    if (!m_header) return key;
    const uint32_t tile = m_header->getGridSize();
    const float resolution = m_header->getResolution();
    const double span = static_cast<double>(resolution) * tile;
    const uint32_t colOffset = column * tile;
    const uint32_t rowOffset = row * tile;
    // Counted in whole nodes, so the last grids end exactly at the surface's edge.
    const uint32_t across = m_header->getNumXPixels(), down = m_header->getNumYPixels();
    const uint32_t columns = colOffset < across ? std::min(tile, across - colOffset) : 0;
    const uint32_t rows = rowOffset < down ? std::min(tile, down - rowOffset) : 0;
    return _cubeGridIdx(row, column, rowOffset, colOffset, rows, columns, m_header->getMinimum()[0] + column * span,
                        m_header->getMaximum()[1] - row * span, resolution, resolution);
}

std::shared_ptr<KIVOSurfaceCUBEIO::_cubeEntry> KIVOSurfaceCUBEIO::getGrid(double x, double y, long& status,
                                                                          bool create) {
    status = 0;
    if (!m_header) return nullptr;
    const NORVAArray<double>& low = m_header->getMinimum();
    const NORVAArray<double>& high = m_header->getMaximum();
    if (!(x >= low[0] && x <= high[0] && y >= low[1] && y <= high[1])) return nullptr;
    const double inverse = 1.0 / (static_cast<double>(m_header->getResolution()) * m_header->getGridSize());
    _cubeGridIdx key;
    key.row = gridIndex(high[1] - y, inverse);
    key.column = gridIndex(x - low[0], inverse);
    return getGrid(key, status, create, true);
}

std::shared_ptr<KIVOSurfaceCUBEIO::_cubeEntry> KIVOSurfaceCUBEIO::getGrid(const _cubeGridIdx& index, long& status,
                                                                          bool create, bool stamp) {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    return m_editCache.getGrid(*this, index, status, create, stamp);
}

_cube_node* KIVOSurfaceCUBEIO::getCubeNode(const double& x, const double& y, long& status, bool create) {
    std::shared_ptr<_cubeEntry> entry = getGrid(x, y, status, create);
    if (!entry || entry->grid == nullptr) return nullptr;
    return cube_grid_get_node_at(entry->grid, x - entry->left, entry->top - y);
}

long KIVOSurfaceCUBEIO::getGrids(std::vector<_cubeGridIdx>& out, double x0, double y0, double x1, double y1, bool) {
    if (!m_header) return 0;
    const NORVAArray<double>& low = m_header->getMinimum();
    const NORVAArray<double>& high = m_header->getMaximum();
    x0 = std::max(x0, low[0]);
    y0 = std::max(y0, low[1]);
    x1 = std::min(x1, high[0]);
    y1 = std::min(y1, high[1]);
    if (!(x0 <= x1 && y0 <= y1)) return 0;
    const double inverse = 1.0 / (static_cast<double>(m_header->getResolution()) * m_header->getGridSize());
    const uint32_t lastRowAllowed = m_header->getGridsDown() - 1, lastColumnAllowed = m_header->getGridsAcross() - 1;
    const uint32_t firstRow = std::min<uint32_t>(gridIndex(high[1] - y1, inverse), lastRowAllowed);
    const uint32_t lastRow = std::min<uint32_t>(gridIndex(high[1] - y0, inverse), lastRowAllowed);
    const uint32_t firstColumn = std::min<uint32_t>(gridIndex(x0 - low[0], inverse), lastColumnAllowed);
    const uint32_t lastColumn = std::min<uint32_t>(gridIndex(x1 - low[0], inverse), lastColumnAllowed);
    for (uint32_t row = firstRow; row <= lastRow; ++row)
        for (uint32_t column = firstColumn; column <= lastColumn; ++column)
            out.push_back(makeKey(static_cast<uint16_t>(row), static_cast<uint16_t>(column)));
    return 0;
}
