#include "multires/KIVOCompoundIO.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <new>
#include <set>

#include "core/KIVOBuiltInFormats.h"
#include "core/KIVOSurfaceOpen.h"
#include "core/SurfaceAttributeNames.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_param.h"
#include "multires/KIVOCompoundIter.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAEnvironment.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOResourceManager.h"
#include "platform/frame/KIVOSurfaceFilteredIter.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/polyops/NORVACompGeom.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

NORVAType<KIVOSurfaceDataIO> createCompound(const NORVAUString& path) {
    return NORVAType<KIVOSurfaceDataIO>(new (std::nothrow) KIVOCompoundIO(path));
}

const bool kRegistered =
    (KIVOBuiltInFormats::provideCreator(KIVOBuiltInFormats::MULTIRES_SLOT, &createCompound), true);

const NORVAUString kKIVOSource("KIVO");
const NORVAUString kKIVOSurfaceSource("KIVO_Surface");

// Header paths of the compound surfaces whose sources are being checked on
// this thread: a surface listed among its own (indirect) sources ends the walk.
thread_local std::set<NORVAUString> t_checking;

struct CheckingGuard {
    explicit CheckingGuard(const NORVAUString& path) : m_path(path), m_entered(t_checking.insert(path).second) {}
    ~CheckingGuard() {
        if (m_entered) t_checking.erase(m_path);
    }
    bool entered() const { return m_entered; }
    NORVAUString m_path;
    bool m_entered;
};

bool newerThan(const NORVAUString& path, int64_t reference, bool& examined) {
    int64_t time = 0;
    examined = NORVAFileUtils::modificationTime(path, time);
    return examined && time > reference;
}

void widenValue(KIVOAttributeSet& target, long index, double value, bool lower) {
    double current = 0.0;
    const bool has = target.isSet(index) && target.getDoubleValue(index, current, false) == 0;
    if (!has || (lower ? value < current : value > current)) target.setValue(index, value);
}

long clampIndex(double v, long count) {
    if (v < 0.0) return 0;
    if (v >= static_cast<double>(count)) return count - 1;
    return static_cast<long>(v);
}

}  // namespace

// ---------------------------------------------------------------- making

KIVORangeEntry KIVOCompoundIO::widen(const KIVORangeEntry& range) {
    return KIVORangeEntry(range.first - kWidening * std::fabs(range.first),
                          range.second + kWidening * std::fabs(range.second));
}

void KIVOCompoundIO::setPaths(const NORVAUString& path) {
    NORVAUString drive, folder;
    PathUtilities::parsePath(path, &drive, &folder, &m_name, nullptr);
    m_folder = drive + folder;
    m_headerPath = m_folder + m_name + ".kms";
}

NORVAUString KIVOCompoundIO::memberStem(const NORVAUString& name, size_t index) const {
    return PathUtilities::appendPath(m_folder + name,
                                     name + "_" + NORVAUString::formatLong(static_cast<long>(index)));
}

KIVOCompoundIO::KIVOCompoundIO(const NORVAUString& path) {
    setPaths(path);
    // A store or rename cut short by a crash is finished (or dropped) first;
    // header, metadata and members are read again when a commit replaced
    // them meanwhile.
    m_status = NORVAFileTransaction::readCommitted(m_folder + m_name, m_headerPath, m_pin, kFolderFailed,
                                                   [this] { return readFiles(); });
}

long KIVOCompoundIO::readFiles() {
    m_members.clear();
    m_header.reset();
    m_metadata.reset(new KIVOSurfaceXMLMetaData(m_folder + m_name + ".xml"));
    if (m_metadata->getStatus() != 0) return m_metadata->getStatus();
    FILE* file = NORVAFileUtils::openRegularFile(m_headerPath);
    if (file == nullptr) return kHeaderNotOpened;
    m_header.reset(new KIVOCompoundDataHeader(file));
    std::fclose(file);
    if (m_header->getStatus() != 0) return m_header->getStatus();
    return openMembers();
}

long KIVOCompoundIO::openMembers() {
    size_t index = 0;
    for (const auto& range : m_header->getResolutionTable()) {
        const NORVAUString stem = memberStem(m_name, index++);
        NORVAType<KIVOSurfaceDataIO> member = KIVOSurfaceUtils::getDataIO(stem);
        if (!member) {
            std::printf("No surface %s for multi-res surface.  Ignoring.\n", stem.toUTF8().c_str());
            continue;
        }
        if (member->getStatus() != 0) return member->getStatus();
        DataIORangeEntry entry;
        const KIVORangeEntry widened = widen(range.first);
        entry.low = widened.first;
        entry.high = widened.second;
        entry.resolution = range.second;
        entry.index = index - 1;
        entry.dataIO.reset(member.release());
        m_members.push_back(std::move(entry));
    }
    return 0;
}

KIVOCompoundIO::KIVOCompoundIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData>& metadata) {
    setPaths(path);
    create(metadata, GRIDDED_MEMBERS, nullptr);
}

KIVOCompoundIO::KIVOCompoundIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData>& metadata,
                               const _cube_param* params) {
    setPaths(path);
    create(metadata, CUBE_MEMBERS, params);
}

long KIVOCompoundIO::takeBounds(NORVAArray<double>& minimum, NORVAArray<double>& maximum) const {
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
    long status = m_metadata->getCover(minX, minY, maxX, maxY);
    if (status != 0) return status;
    long csStatus = 0;
    const NORVACoordSystem* cs = m_metadata->getCoordSystem(csStatus);
    if (cs && cs->getScaler().getMode() == NORVAScaler::FIXED) {
        const double tolerance = cs->getScaler().getUnit() * 0.5;
        if ((status = NORVACompGeom::snap(minX, minY, tolerance)) != 0) return status;
        if ((status = NORVACompGeom::snap(maxX, maxY, tolerance)) != 0) return status;
    }
    minimum = NORVAArray<double>{minX, minY};
    maximum = NORVAArray<double>{maxX, maxY};
    return 0;
}

void KIVOCompoundIO::create(NORVAType<KIVOSurfaceXMLMetaData>& metadata, MemberKind kind,
                            const _cube_param* params) {
    if (!metadata || metadata->getStatus() != 0) {
        m_status = metadata ? metadata->getStatus() : kBadArgument;
        return;
    }
    m_metadata = std::move(metadata);
    if ((m_status = KIVOSurfaceUtils::checkNameFree(m_headerPath)) != 0) return;
    // Created over another compound, it may replace that one, and only that.
    (void)NORVAFileTransaction::recover(m_folder + m_name);
    m_pin.take(m_headerPath);
    NORVAArray<double> minimum, maximum;
    if ((m_status = takeBounds(minimum, maximum)) != 0) return;
    NORVAUString selector;
    KIVOResolutionTable table;
    if ((m_status = m_metadata->getResolutionTable(selector, table)) != 0) return;
    m_header.reset(new KIVOCompoundDataHeader(minimum, maximum, selector, table));
    if ((m_status = m_header->getStatus()) != 0) return;
    if (!NORVAFileUtils::makeDirectory(m_folder + m_name)) {
        m_status = kFolderFailed;
        return;
    }
    size_t index = 0;
    for (const auto& range : table) {
        long status = 0;
        DataIORangeEntry entry;
        entry.index = index;
        entry.dataIO = createMember(memberStem(m_name, index++), range.second, kind, params, status);
        if (status != 0) {
            m_status = status;
            return;
        }
        const KIVORangeEntry widened = widen(range.first);
        entry.low = widened.first;
        entry.high = widened.second;
        entry.resolution = range.second;
        m_members.push_back(std::move(entry));
    }
}

std::shared_ptr<KIVOSurfaceDataIO> KIVOCompoundIO::createMember(const NORVAUString& stem, float resolution,
                                                                MemberKind kind, const _cube_param* params,
                                                                long& status) const {
    NORVAType<KIVOSurfaceXMLMetaData> meta = m_metadata->newCopy();
    meta->setFileName(stem + ".xml");
    meta->setResolution(resolution);
    meta->setResolutionTable(SurfaceAttributeNames::kDepth, KIVOResolutionTable());
    std::shared_ptr<KIVOSurfaceDataIO> member;
    if (kind == GRIDDED_MEMBERS) {
        member = std::make_shared<KIVOGriddedDataIO>(stem + ".vns", std::move(meta));
    } else {
        _cube_param* workspace = cube_init_param(0, resolution, resolution);
        if (workspace == nullptr) {
            status = kNoMemory;
            return nullptr;
        }
        if (params) *workspace = *params;
        workspace->dist_scale = resolution;
        workspace->var_scale = std::pow(static_cast<double>(resolution), -workspace->dist_exp);
        member = std::make_shared<KIVOSurfaceCUBEIO>(stem + ".vcs", meta, workspace);
    }
    status = member->getStatus();
    return member;
}

KIVOCompoundIO::KIVOCompoundIO(const KIVOCompoundIO& o)
    : KIVOSurfaceDataIO(o), m_folder(o.m_folder), m_name(o.m_name), m_headerPath(o.m_headerPath), m_pin(o.m_pin),
      m_members(o.m_members), m_outdated(o.m_outdated), m_merged(o.m_merged) {
    if (o.m_metadata) m_metadata = o.m_metadata->newCopy();
    if (o.m_header) m_header = std::make_unique<KIVOCompoundDataHeader>(*o.m_header);
}

KIVOCompoundIO& KIVOCompoundIO::operator=(const KIVOCompoundIO& o) {
    if (this == &o) return *this;
    KIVOSurfaceDataIO::operator=(o);
    m_folder = o.m_folder;
    m_name = o.m_name;
    m_headerPath = o.m_headerPath;
    m_pin = o.m_pin;
    m_members = o.m_members;
    m_outdated = o.m_outdated;
    m_metadata = o.m_metadata ? o.m_metadata->newCopy() : NORVAType<KIVOSurfaceXMLMetaData>();
    m_header.reset(o.m_header ? new KIVOCompoundDataHeader(*o.m_header) : nullptr);
    m_monitor.reset();
    m_merged = o.m_merged;
    return *this;
}

KIVOCompoundIO::~KIVOCompoundIO() = default;

void KIVOCompoundIO::print(std::ostream& os) const {
    os << "KIVOCompoundIO(" << m_headerPath << ", status=" << m_status << ", members=" << m_members.size() << ")";
    for (const DataIORangeEntry& e : m_members)
        os << "\n  [" << e.low << ", " << e.high << "] at " << e.resolution << ": "
           << (e.dataIO ? e.dataIO->getSourceName() : NORVAUString());
}

// ---------------------------------------------------------------- forwarding

KIVOSurfaceAttributeTable* KIVOCompoundIO::getAttributeInfo() {
    return m_metadata ? m_metadata->getAttributeTable() : nullptr;
}

const KIVOSurfaceAttributeTable* KIVOCompoundIO::getAttributeInfo() const {
    return m_metadata ? m_metadata->getAttributeTable() : nullptr;
}

const NORVACoordSystem* KIVOCompoundIO::getCoordSystem() const {
    long status = 0;
    return m_metadata ? m_metadata->getCoordSystem(status) : nullptr;
}

NORVAArray<double> KIVOCompoundIO::getMinimum() const {
    return m_header ? m_header->getMinimum() : NORVAArray<double>();
}

NORVAArray<double> KIVOCompoundIO::getMaximum() const {
    return m_header ? m_header->getMaximum() : NORVAArray<double>();
}

// Every member the selector reaches takes the node; the first member that
// could not is reported, so a node is never lost unheard.
long KIVOCompoundIO::set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
                         double selector) {
    long failed = 0;
    for (DataIORangeEntry& e : m_members) {
        if (!e.dataIO || !(selector == kNoSelector || e.holds(selector))) continue;
        const long rc = e.dataIO->set(x, y, attributes, descriptor, kNoSelector);
        if (failed == 0) failed = rc;
    }
    return failed;
}

void KIVOCompoundIO::setModified(bool modified) {
    for (DataIORangeEntry& e : m_members)
        if (e.dataIO) e.dataIO->setModified(modified);
}

void KIVOCompoundIO::setQueryType(long type) {
    for (DataIORangeEntry& e : m_members)
        if (e.dataIO) e.dataIO->setQueryType(type);
    m_queryType = type;
}

long KIVOCompoundIO::open() {
    for (DataIORangeEntry& e : m_members)
        if (e.dataIO) e.dataIO->open();
    return 0;
}

// Every member is closed or flushed even after one fails (CUBE members write
// their edited grids here); the first failure is the caller's to hear of.
long KIVOCompoundIO::close() { return onEveryMember(&KIVOSurfaceDataIO::close); }

long KIVOCompoundIO::flush() { return onEveryMember(&KIVOSurfaceDataIO::flush); }

long KIVOCompoundIO::onEveryMember(long (KIVOSurfaceDataIO::*step)()) {
    long failed = 0;
    for (DataIORangeEntry& e : m_members) {
        const long rc = e.dataIO ? ((*e.dataIO).*step)() : 0;
        if (failed == 0) failed = rc;
    }
    return failed;
}

bool KIVOCompoundIO::isOutdated() const {
    for (const DataIORangeEntry& e : m_members)
        if (e.dataIO && e.dataIO->isOutdated()) return true;
    return false;
}

bool KIVOCompoundIO::isModified() const {
    for (const DataIORangeEntry& e : m_members)
        if (e.dataIO && e.dataIO->isModified()) return true;
    return false;
}

// ---------------------------------------------------------------- storing

// Header, members and metadata commit as one: a member that fails leaves
// every file as it was, and its status is returned.
long KIVOCompoundIO::store(NORVAProgress* progress) {
    if (m_status != 0) return m_status;
    if (const long recovered = NORVAFileTransaction::recoverStatus(m_folder + m_name, kFolderFailed)) return recovered;
    NORVAFileTransaction transaction(m_folder + m_name);
    transaction.guard(m_pin);
    if (const long taken = KIVOSurfaceUtils::requireNameFree(transaction, m_headerPath, m_pin)) return taken;
    NORVAAtomicFile file(m_headerPath);
    if (!file.isOpen()) return kHeaderNotOpened;
    long status = m_header->write(file.file());
    if (status != 0) return status;
    if (!file.commit()) return KIVOCompoundDataHeader::kWriteFailed;
    // A member folder that is gone may have gone with another object's
    // rename: it is not made again for a store whose commit would be refused.
    if (!NORVAFileUtils::isDirectory(m_folder + m_name)) {
        if (!m_pin.unchanged()) return NORVASurfacePin::kChanged;
        if (!NORVAFileUtils::makeDirectory(m_folder + m_name)) return kFolderFailed;
    }
    for (DataIORangeEntry& e : m_members) {
        if (!e.dataIO) continue;
        status = e.dataIO->store(progress);
        if (status != 0) return status;
        mergeRanges(*e.dataIO);
    }
    status = m_metadata->store();
    if (status != 0) return status;
    return transaction.commitStatus(KIVOCompoundDataHeader::kWriteFailed);
}

void KIVOCompoundIO::mergeRanges(const KIVOSurfaceDataIO& member) {
    const KIVOSurfaceAttributeTable* from = member.getAttributeInfo();
    KIVOSurfaceAttributeTable* to = getAttributeInfo();
    if (!from || !to) return;
    const KIVOMetaAttribute& source = from->getMetaAttribute();
    KIVOMetaAttribute& target = to->getMetaAttribute();
    const KIVODescriptor& descriptor = target.getDescriptor();
    for (long a = 0; a < descriptor.getNumberOfAttributes(); ++a) {
        const long b = source.getDescriptor().getAttributeIndex(descriptor.getAttributeName(a));
        if (b < 0) continue;
        double v = 0.0;
        if (source.getMinimum().isSet(b) && source.getMinimum().getDoubleValue(b, v, false) == 0)
            widenValue(target.getMinimum(), a, v, true);
        if (source.getMaximum().isSet(b) && source.getMaximum().getDoubleValue(b, v, false) == 0)
            widenValue(target.getMaximum(), a, v, false);
    }
}

long KIVOCompoundIO::deleteAllFiles(bool withMetadata) {
    const NORVAUString stem = m_folder + m_name, xml = stem + ".xml";
    (void)NORVAFileTransaction::recover(stem);
    // A member folder that is a symbolic link goes as a link: the members
    // it points to are someone else's files.
    const bool linked = NORVAFileUtils::isSymbolicLink(stem);
    bool deleted = true;
    {
        NORVAFileTransaction transaction(stem);
        for (DataIORangeEntry& e : m_members)
            if (!linked && e.dataIO && e.dataIO->deleteAllFiles(withMetadata) != 0) deleted = false;
        transaction.remove(m_headerPath);
        if (withMetadata) transaction.remove(xml);
        deleted = transaction.commit() && deleted;
    }
    // Not recursive: member files kept by the flag keep their folder too.
    if (linked && !NORVAFileUtils::removeFile(stem)) deleted = false;
    if (!linked) NORVAFileUtils::removeDirectory(stem, false);
    KIVOSurfaceUtils::delete3DTerrainFiles(m_headerPath);
    const bool remains = NORVAFileUtils::exists(m_headerPath) ||
                         (withMetadata && (NORVAFileUtils::exists(xml) || NORVAFileUtils::exists(stem))) ||
                         !NORVAFileTransaction::leftovers(stem).empty();
    return deleted && !remains ? 0L : kFolderFailed;
}

long KIVOCompoundIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    for (const DataIORangeEntry& e : m_members)
        if (e.dataIO) e.dataIO->getAssociatedFiles(files);
    files.push_back(m_headerPath);
    files.push_back(m_folder + m_name + ".xml");
    return 0;
}

// ---------------------------------------------------------------- outdated

bool KIVOCompoundIO::checkOutdated() {
    if (m_outdated) return true;
    CheckingGuard guard(m_headerPath);
    if (!guard.entered()) return m_outdated;  // already being checked further up
    int64_t reference = 0;
    if (!NORVAFileUtils::modificationTime(m_headerPath, reference)) return m_outdated = true;
    if (checkSources(reference)) m_outdated = true;
    return m_outdated;
}

// True as soon as a source cannot be examined or is newer; an opened source
// surface that is outdated makes the result true but never clears it.
bool KIVOCompoundIO::checkSources(int64_t reference) {
    if (!m_metadata) return false;
    const NORVAUString dataPath = NORVAEnvironment::getVar("ZDRS_DATA_PATH");
    bool outdated = false;
    for (const KIVOSourceItem& item : m_metadata->getSourceRecord().items) {
        bool examined = false;
        if (item.key == SurfaceAttributeNames::kSurveyLine) {
            const NORVAUString depths =
                PathUtilities::appendPath(PathUtilities::appendPath(dataPath, item.value), "ProcessedDepths");
            const bool newer = newerThan(depths, reference, examined);
            if (!examined) return true;
            outdated = outdated || newer;
        } else if (item.key == kKIVOSource || item.key == kKIVOSurfaceSource) {
            if (newerThan(item.value, reference, examined) || !examined) return true;
            if (item.value == m_headerPath) continue;
            if (sourceOutdated(item.value)) outdated = true;
        }
    }
    return outdated;
}

// A source is opened only to ask it, and so must stay as it is. Only CUBE and
// compound surfaces can be outdated: a source of another kind is not opened
// (its answer is no, and opening a tile store for update would touch its
// database). A source with a commit under way or cut short (its journal or
// temporaries on disk) is not opened either, as opening finishes that
// commit: it cannot be examined, which counts as outdated.
bool KIVOCompoundIO::sourceOutdated(const NORVAUString& path) {
    const KIVOSurfaceUtils::KIVODataIOType type = KIVOSurfaceUtils::getSurfaceType(path);
    if (type != KIVOSurfaceUtils::CUBE && type != KIVOSurfaceUtils::MULTI_RESOLUTION) return false;
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(path, &drive, &folder, &name, nullptr);
    if (!NORVAFileTransaction::leftovers(drive + folder + name).empty()) return true;
    long status = 0;
    NORVAType<KIVOSurface> source = KIVOSurfaceUtils::open(path, status);
    return status == 0 && source && source->getDataIO() && source->getDataIO()->checkOutdated();
}

// ---------------------------------------------------------------- queries

template <class Query>
NORVAType<KIVOSurfaceIter> KIVOCompoundIO::queryMembers(Query run, NORVAProgress* progress, double selector,
                                                        long& status) {
    status = 0;
    // Iterators of the previous query keep their own share of its monitor.
    m_monitor.reset();
    if (progress) {
        m_monitor = std::make_shared<StagedMonitor>(progress);
        progress->setSteps(100);
        for (size_t i = 0; i < m_members.size(); ++i) m_monitor->addStage(3);
    }
    KIVOCompoundIter::MemberList found;
    for (size_t i = 0; i < m_members.size(); ++i) {
        const DataIORangeEntry& e = m_members[i];
        const size_t stage = i + 1;
        // A member not queried has its stage closed at once.
        if (!e.dataIO || (selector != kNoSelector && !e.holds(selector))) {
            if (m_monitor) m_monitor->advanceTo(stage);
            continue;
        }
        // Earlier stages are closed, so the member's announce opens its own.
        if (m_monitor) m_monitor->advanceTo(stage - 1);
        long memberStatus = 0;
        NORVAType<KIVOSurfaceIter> iter = run(*e.dataIO, m_monitor.get(), memberStatus);
        long doneStatus = 0;
        const bool through = iter && iter->done(doneStatus);
        // A member's refusal is the query's: a walk of the others would
        // end with status 0 and this member's nodes missing.
        if (memberStatus != 0 || doneStatus != 0) {
            status = memberStatus != 0 ? memberStatus : doneStatus;
            return NORVAType<KIVOSurfaceIter>();
        }
        if (!iter || iter->getStatus() != 0 || through) {
            // Closed, whether or not the member announced before giving up.
            if (m_monitor) m_monitor->advanceTo(stage);
            continue;
        }
        if (e.filter) iter.reset(new KIVOSurfaceFilteredIter(std::move(iter), *e.filter));
        found.push_back(std::move(iter));
    }
    return NORVAType<KIVOSurfaceIter>(new KIVOCompoundIter(std::move(found), m_monitor, mergedDescriptor()));
}

const std::shared_ptr<const KIVODescriptor>& KIVOCompoundIO::mergedDescriptor() {
    if (!m_merged) {
        std::vector<const KIVODescriptor*> descriptors;
        for (const DataIORangeEntry& e : m_members) {
            const KIVOSurfaceAttributeTable* table = e.dataIO ? e.dataIO->getAttributeInfo() : nullptr;
            if (table) descriptors.push_back(&table->getDescriptor());
        }
        m_merged = KIVOCompoundIter::merge(descriptors);
    }
    return m_merged;
}

NORVAType<KIVOSurfaceIter> KIVOCompoundIO::query(double x0, double y0, double x1, double y1, bool create,
                                                 long& status, NORVAProgress* progress, double selector) {
    if (m_status != 0) {
        status = m_status;
        return NORVAType<KIVOSurfaceIter>();
    }
    return queryMembers(
        [&](KIVOSurfaceDataIO& member, NORVAProgress* monitor, long& s) {
            return member.query(x0, y0, x1, y1, create, s, monitor, kNoSelector);
        },
        progress, selector, status);
}

NORVAType<KIVOSurfaceIter> KIVOCompoundIO::query(const NORVAGeometry& geometry, bool create, long& status,
                                                 NORVAProgress* progress, double selector) {
    if (m_status != 0) {
        status = m_status;
        return NORVAType<KIVOSurfaceIter>();
    }
    return queryMembers(
        [&](KIVOSurfaceDataIO& member, NORVAProgress* monitor, long& s) {
            return member.query(geometry, create, s, monitor, kNoSelector);
        },
        progress, selector, status);
}

void KIVOCompoundIO::getDataIO(std::vector<const DataIORangeEntry*>& out, double selector) const {
    out.clear();
    for (const DataIORangeEntry& e : m_members)
        if (e.holds(selector)) out.push_back(&e);
}

namespace {

// Resolutions come back from files as doubles of what was a float: they
// are compared at float precision, so equal members keep their table order.
float coarseness(const KIVOSurfaceDataIO* dataIO) {
    double x = 0.0, y = 0.0;
    const KIVOSurfaceMetaData* meta = dataIO ? dataIO->getMetaData() : nullptr;
    if (!meta || meta->getResolution(x, y) != 0) return 0.0f;
    const double coarsest = std::max(x, y);
    return std::fabs(coarsest) <= FLT_MAX ? static_cast<float>(coarsest) : 0.0f;
}

}  // namespace

void KIVOCompoundIO::getDataIOList(std::vector<const DataIORangeEntry*>& out) const {
    out.clear();
    for (const DataIORangeEntry& e : m_members) out.push_back(&e);
    std::stable_sort(out.begin(), out.end(), [](const DataIORangeEntry* a, const DataIORangeEntry* b) {
        return coarseness(a->dataIO.get()) > coarseness(b->dataIO.get());
    });
}

void KIVOCompoundIO::getDataIOList(std::vector<KIVOSurfaceDataIO*>& out) const {
    std::vector<const DataIORangeEntry*> entries;
    getDataIOList(entries);
    out.clear();
    for (const DataIORangeEntry* e : entries) out.push_back(e->dataIO.get());
}

// ---------------------------------------------------------------- rasterising

float KIVOCompoundIO::finestResolution() const {
    float finest = 0.0f;
    for (const DataIORangeEntry& e : m_members)
        if (e.resolution > 0.0f && std::isfinite(e.resolution) && (finest == 0.0f || e.resolution < finest))
            finest = e.resolution;
    return finest;
}

bool KIVOCompoundIO::memberBounds(NORVAArray<double>& minimum, NORVAArray<double>& maximum,
                                  double& resolution) const {
    const NORVAArray<double> coverLow = getMinimum(), coverHigh = getMaximum();
    if (coverLow.size() < 2 || coverHigh.size() < 2) return false;
    minimum = NORVAArray<double>{DBL_MAX, DBL_MAX};
    maximum = NORVAArray<double>{-DBL_MAX, -DBL_MAX};
    resolution = 0.0;
    for (const DataIORangeEntry& e : m_members) {
        const KIVOSurfaceMetaData* meta = e.dataIO ? e.dataIO->getMetaData() : nullptr;
        double x = 0.0, y = 0.0;
        if (!meta || meta->getResolution(x, y) != 0) continue;
        const double own = std::min(x, y);
        const NORVAArray<double> low = e.dataIO->getMinimum(), high = e.dataIO->getMaximum();
        if (!(own > 0.0) || !std::isfinite(own) || low.size() < 2 || high.size() < 2) continue;
        bool holds = true;
        for (int axis = 0; axis < 2; ++axis)
            holds = holds && std::isfinite(low[axis]) && std::isfinite(high[axis]) && low[axis] <= high[axis];
        if (!holds) continue;
        for (int axis = 0; axis < 2; ++axis) {
            minimum[axis] = std::min(minimum[axis], low[axis]);
            maximum[axis] = std::max(maximum[axis], high[axis]);
        }
        if (resolution == 0.0 || own < resolution) resolution = own;
    }
    for (int axis = 0; axis < 2; ++axis) {
        minimum[axis] = std::max(minimum[axis], coverLow[axis]);
        maximum[axis] = std::min(maximum[axis], coverHigh[axis]);
        if (!(minimum[axis] <= maximum[axis])) return false;
    }
    return resolution > 0.0;
}

long KIVOCompoundIO::rasterize(rasterizeConfig& config) {
    if (m_status != 0) return m_status;
    const KIVOSurfaceAttributeTable* table = getAttributeInfo();
    const long attribute = table ? table->getDescriptor().getAttributeIndex(config.attribute) : -1;
    // The compound's own metadata carries no single resolution: the finest
    // member's is the grid the raster snaps to.
    const double tableResolution = finestResolution();
    if (attribute < 0 || tableResolution <= 0.0) return kBadArgument;
    // The header's cover and table are only claims: a raster never reaches
    // beyond what the members hold nor is finer than their own grids.
    NORVAArray<double> minimum, maximum;
    double ownResolution = 0.0;
    if (!memberBounds(minimum, maximum, ownResolution)) return kBadArgument;
    const double resolution = std::max(tableResolution, ownResolution);
    if (!config.buffer) {
        config.cellX = std::max(config.cellX, resolution);
        config.cellY = std::max(config.cellY, resolution);
        auto snapLow = [&](double v, int axis) {
            return v < minimum[axis] ? minimum[axis]
                                     : minimum[axis] + std::trunc((v - minimum[axis]) / resolution) * resolution;
        };
        auto snapHigh = [&](double v, int axis) {
            return v > maximum[axis]
                       ? maximum[axis]
                       : minimum[axis] + std::trunc((v - minimum[axis]) / resolution + 1.0) * resolution;
        };
        config.minX = snapLow(config.minX, 0);
        config.minY = snapLow(config.minY, 1);
        config.maxX = snapHigh(config.maxX, 0);
        config.maxY = snapHigh(config.maxY, 1);
        const double columns = std::trunc((config.maxX - config.minX) / config.cellX) + 1.0;
        const double rows = std::trunc((config.maxY - config.minY) / config.cellY) + 1.0;
        if (!(columns >= 1.0 && rows >= 1.0)) return kBadArgument;
        // The raster is one more cache of an open surface: it fits in the
        // memory budget or is not made.
        const double budget = static_cast<double>(KIVOResourceManager::m_instance.getMemoryLimit());
        if (!(columns * rows * sizeof(float) <= budget)) return kNoMemory;
        config.columns = static_cast<long>(columns);
        config.rows = static_cast<long>(rows);
        try {
            config.output.assign(static_cast<size_t>(config.columns) * static_cast<size_t>(config.rows),
                                 config.noData);
        } catch (const std::bad_alloc&) {
            return kNoMemory;
        }
    } else if (config.columns <= 0 || config.rows <= 0 || !(config.cellX > 0.0) || !(config.cellY > 0.0)) {
        return kBadArgument;
    }
    float* cells = config.buffer ? config.buffer : config.output.data();
    const size_t cellCount = static_cast<size_t>(config.columns) * static_cast<size_t>(config.rows);
    std::fill(cells, cells + cellCount, config.noData);

    // A footprint never needs to reach beyond the raster.
    const double ratio = std::min(resolution / config.cellX, 2.0 * (config.columns + config.rows));
    const long radius = static_cast<float>(ratio) == 1.0f ? 0 : static_cast<long>(std::ceil(ratio) * 0.5);
    for (auto it = m_members.rbegin(); it != m_members.rend(); ++it) {
        if (!it->dataIO) continue;
        long status = 0;
        NORVAType<KIVOSurfaceIter> iter =
            it->dataIO->query(config.minX, config.minY, config.maxX, config.maxY, false, status, nullptr, kNoSelector);
        // A member's refusal, from its query or its walk, is the raster's:
        // never a raster that says 0 with that member's cells missing.
        if (status != 0) return status;
        if (!iter) continue;
        long s = 0;
        for (; !iter->done(s); iter->next(s)) {
            const KIVOAttributeSet* a = iter->getAttributes();
            float value = 0.0f;
            if (!a || !a->isSet(attribute) || a->getValue(attribute, value) != 0) continue;
            if (config.filter && !config.filter->passes(a)) continue;
            double x = 0.0, y = 0.0;
            if (iter->getPosition(x, y, -1) != 0) continue;
            const double column = std::trunc((x - config.minX) / config.cellX + 0.5);
            const double row = std::trunc((y - config.minY) / config.cellY + 0.5);
            if (!(column >= 0.0 && row >= 0.0 && column < config.columns && row < config.rows)) continue;
            const long c0 = clampIndex(column - radius, config.columns);
            const long c1 = clampIndex(column + radius, config.columns);
            const long r0 = clampIndex(row - radius, config.rows);
            const long r1 = clampIndex(row + radius, config.rows);
            for (long r = r0; r <= r1; ++r)
                for (long c = c0; c <= c1; ++c) {
                    float& cell = cells[config.columnMajor ? c * config.rows + r : r * config.columns + c];
                    // Compared unnegated, so the shoalest value wins either way.
                    const float held = config.negate ? -cell : cell;
                    if (cell == config.noData || value < held) cell = config.negate ? -value : value;
                }
        }
        if (s != 0) return s;
    }
    return 0;
}

// ---------------------------------------------------------------- renaming

long KIVOCompoundIO::rename(const NORVAUString& newName) {
    if (m_status != 0) return m_status;
    NORVAUString name;
    PathUtilities::parsePath(newName, nullptr, nullptr, &name, nullptr);
    if (name.isEmpty()) return kFolderFailed;
    if (name == m_name) return 0;
    // Members behind a member folder that is a symbolic link are not this
    // surface's to rename.
    if (NORVAFileUtils::isSymbolicLink(m_folder + m_name)) return kFolderFailed;
    // The members are reopened from their new place, so nothing may be
    // left only in memory, and a surface never stored is stored first.
    if (isModified() || !NORVAFileUtils::isRegularFile(m_headerPath)) {
        const long stored = store(nullptr);
        if (stored != 0) return stored;
    }
    // Members are closed and reopened from the moved folder: grids a CUBE
    // member holds edited in memory must reach its files before the move.
    for (DataIORangeEntry& e : m_members) {
        if (!e.dataIO) continue;
        const long flushed = e.dataIO->flush();
        if (flushed != 0) return flushed;
    }
    const long moved = moveFiles(name);
    // The members are reopened from wherever the commit left them.
    const long reopened = reopenMembers(moved == 0 ? name : m_name);
    return moved != 0 ? moved : reopened;
}

// One commit: each member renames itself inside the old folder (its moves
// join this commit), then the header, metadata and folder take the new name.
long KIVOCompoundIO::moveFiles(const NORVAUString& name) {
    const NORVAUString oldStem = m_folder + m_name, newStem = m_folder + name;
    for (const NORVAUString& s : {oldStem, newStem})
        if (const long recovered = NORVAFileTransaction::recoverStatus(s, kFolderFailed)) return recovered;
    const NORVAUString from[] = {m_headerPath, oldStem + ".xml", oldStem};
    const NORVAUString to[] = {newStem + ".kms", newStem + ".xml", newStem};
    for (const NORVAUString& target : to)
        if (NORVAFileUtils::exists(target)) return kFolderFailed;  // never over another surface
    // The member folder goes whole, so it may hold nothing but the members:
    // a folder of that name is also where a CUBE surface keeps its grid set.
    const std::set<NORVAUString> own = memberEntries();
    if (holdsOthers(oldStem, own)) return kFolderFailed;
    NORVAFileTransaction transaction(oldStem);
    // Looked at again once nobody else commits there.
    transaction.require([oldStem, own] { return holdsOthers(oldStem, own) ? kFolderFailed : 0L; });
    transaction.guard(m_pin, to[0]);
    transaction.journalAlsoAt(newStem);
    for (DataIORangeEntry& e : m_members) {
        if (!e.dataIO) continue;
        const long status = e.dataIO->rename(name + "_" + NORVAUString::formatLong(static_cast<long>(e.index)));
        if (status != 0) return status;
    }
    for (size_t i = 0; i < 3; ++i) transaction.move(from[i], to[i]);
    return transaction.commitStatus(kFolderFailed);
}

// The names in the member folder that are the members': their files and
// the folders they keep beside them, named after them.
std::set<NORVAUString> KIVOCompoundIO::memberEntries() const {
    std::vector<NORVAUString> files;
    for (const DataIORangeEntry& e : m_members)
        if (e.dataIO) e.dataIO->getAssociatedFiles(files);
    const NORVAUString folder = m_folder + m_name + "/";
    std::set<NORVAUString> names;
    for (const NORVAUString& file : files) {
        if (!file.startsWith(folder)) continue;
        const NORVAUString below = file.substring(folder.length());
        const int32_t slash = below.indexOf(u'/');
        names.insert(slash < 0 ? below : below.substring(0, slash));
        NORVAUString stem;
        PathUtilities::parsePath(below, nullptr, nullptr, &stem, nullptr);
        if (slash < 0) names.insert(stem);  // a member's grid folder, even while it holds no grid
    }
    return names;
}

// Anything in the folder but those names, and what commits leave there for
// a while (temporaries, journals).
bool KIVOCompoundIO::holdsOthers(const NORVAUString& folder, const std::set<NORVAUString>& own) {
    std::vector<NORVAUString> entries;
    return NORVAFileUtils::listDirectory(folder, entries) && !NORVAFileTransaction::holdsOnly(entries, own);
}

long KIVOCompoundIO::reopenMembers(const NORVAUString& name) {
    m_name = name;
    m_headerPath = m_folder + name + ".kms";
    m_pin.follow(m_headerPath);
    m_metadata->setFileName(m_folder + name + ".xml");
    m_merged.reset();
    long first = 0;
    for (DataIORangeEntry& e : m_members) {
        e.dataIO.reset();
        NORVAType<KIVOSurfaceDataIO> member = KIVOSurfaceUtils::getDataIO(memberStem(name, e.index));
        const long status = !member ? kFolderFailed : member->getStatus();
        if (status != 0) {
            if (first == 0) first = status;
            continue;
        }
        e.dataIO.reset(member.release());
    }
    return first;
}
