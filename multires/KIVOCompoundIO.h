#pragma once
// A compound (multi-resolution) surface: one ".kms" header, its ".xml"
// metadata and a folder of the surface's name holding one member surface per
// range of the selector attribute, named name + "_" + i in table order.
// Members are gridded surfaces (".vns") or CUBE surfaces (".vcs"). Most
// operations are forwarded to every member; `set` and the queries take a
// selector value that picks the members whose range holds it (the largest
// double picks them all), and members are always called with the largest
// double.
//
// Each member's range is widened by 5% of each bound's magnitude when it is
// created and when it is opened, so that a value near a boundary reaches
// both neighbours; the stored table keeps the ranges as given.
#include <memory>
#include <set>
#include <vector>

#include "cube_engine/cube_forward.h"
#include "multires/GOProgressWrapper.h"
#include "multires/KIVOCompoundDataHeader.h"
#include "multires/MultiStageProgressMonitor.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOAttributeFilter.h"
#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

class KIVO_EXPORT KIVOCompoundIO : public KIVOSurfaceDataIO {
public:
    using StagedMonitor = MultiStageProgressMonitor<GOProgressWrapper>;

    static constexpr long kHeaderNotOpened = 146021;  // also a header that cannot be written
    static constexpr long kFolderFailed = 146006;     // member folder not created, rename target exists
    static constexpr long kNoMemory = 146030;
    static constexpr long kBadArgument = -1;          // unknown attribute, no usable resolution, bad raster
    static constexpr double kNoSelector = 1.7976931348623157e308;
    static constexpr double kWidening = 0.05;

    struct DataIORangeEntry {
        double low = 0.0;
        double high = 0.0;
        float resolution = 0.0f;
        std::shared_ptr<KIVOAttributeFilter> filter;  // none is made by this class
        std::shared_ptr<KIVOSurfaceDataIO> dataIO;
        size_t index = 0;  // position in the header's table, which names the member
        bool holds(double selector) const { return low <= selector && selector <= high; }
    };

    // Opens the compound surface at the path (any extension).
    explicit KIVOCompoundIO(const NORVAUString& path);
    // Creates a compound surface with gridded members from filled metadata
    // carrying a resolution table; nothing is written until `store`. A name
    // whose ".xml" is another surface's is refused
    // (KIVOSurfaceUtils::kNameTaken), here and by the first store.
    KIVOCompoundIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData>& metadata);
    // The same with CUBE members built on a copy of the caller's parameters.
    KIVOCompoundIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData>& metadata,
                   const _cube_param* params);
    // Copies share the members.
    KIVOCompoundIO(const KIVOCompoundIO& o);
    KIVOCompoundIO& operator=(const KIVOCompoundIO& o);
    ~KIVOCompoundIO() override;

    void print(std::ostream& os) const override;
    KIVOSurfaceAttributeTable* getAttributeInfo() override;
    const KIVOSurfaceAttributeTable* getAttributeInfo() const override;
    const NORVACoordSystem* getCoordSystem() const override;
    NORVAArray<double> getMinimum() const override;
    NORVAArray<double> getMaximum() const override;
    NORVAUString getSourceName() const override { return m_headerPath; }
    KIVOSurfaceMetaData* getMetaData() override { return m_metadata.get(); }
    const KIVOSurfaceMetaData* getMetaData() const override { return m_metadata.get(); }
    long set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
             double selector) override;
    void setModified(bool modified) override;
    void setQueryType(long type) override;
    long open() override;
    long close() override;
    // Writes the header, every member and the metadata in one commit: the
    // first failure (a member's included) is returned and leaves every file
    // as it was. A surface another process stored since this object read it
    // (or was created over it) is not overwritten: NORVASurfacePin::kChanged.
    long store(NORVAProgress* progress) override;
    long flush() override;
    bool isOutdated() const override;
    bool checkOutdated() override;
    // A member's refusal (its query's status, or a failure its iterator
    // reports before the first node) is the query's status, with no
    // iterator; one met later in the walk ends it, from `next` and `done`.
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double selector) override;
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double selector) override;
    using KIVOSurfaceDataIO::query;
    bool isModified() const override;
    // Members, header, metadata (with the flag), the member folder when it
    // is left empty, and what a crash left; kFolderFailed when any remains.
    long deleteAllFiles(bool withMetadata) override;
    long getAssociatedFiles(std::vector<NORVAUString>& files) const override;
    // A member's refusal, from its query or its walk, is returned, whatever
    // the cells were given by then.
    long rasterize(rasterizeConfig& config) override;
    // A new name in the same folder for the header, metadata, member folder
    // and members, in one commit. Unsaved changes (or a surface never
    // stored) are stored first; an existing target, or a member folder that
    // holds files not the members' (a CUBE surface's grid set of the same
    // name, a user's), is refused with kFolderFailed and everything stays
    // as it was.
    long rename(const NORVAUString& newName) override;

    // Every member whose range holds the selector.
    void getDataIO(std::vector<const DataIORangeEntry*>& out, double selector) const;
    // Every member, coarsest resolution first.
    void getDataIOList(std::vector<const DataIORangeEntry*>& out) const;
    void getDataIOList(std::vector<KIVOSurfaceDataIO*>& out) const;

    const KIVOCompoundDataHeader* getHeader() const { return m_header.get(); }
    const std::vector<DataIORangeEntry>& getEntries() const { return m_members; }
    // The staged monitor of the last query that had a caller's monitor.
    const StagedMonitor* getLastMonitor() const { return m_monitor.get(); }

    // The widened range of a table entry.
    static KIVORangeEntry widen(const KIVORangeEntry& range);

private:
    enum MemberKind { GRIDDED_MEMBERS, CUBE_MEMBERS };

    void setPaths(const NORVAUString& path);
    NORVAUString memberStem(const NORVAUString& name, size_t index) const;
    std::set<NORVAUString> memberEntries() const;
    static bool holdsOthers(const NORVAUString& folder, const std::set<NORVAUString>& own);
    void create(NORVAType<KIVOSurfaceXMLMetaData>& metadata, MemberKind kind, const _cube_param* params);
    long takeBounds(NORVAArray<double>& minimum, NORVAArray<double>& maximum) const;
    std::shared_ptr<KIVOSurfaceDataIO> createMember(const NORVAUString& stem, float resolution, MemberKind kind,
                                                    const _cube_param* params, long& status) const;
    // Metadata, header and members from the files; may run more than once.
    long readFiles();
    long openMembers();
    // Runs `step` on every member, even after one fails; the first failure.
    long onEveryMember(long (KIVOSurfaceDataIO::*step)());
    void mergeRanges(const KIVOSurfaceDataIO& member);
    bool checkSources(int64_t reference);
    static bool sourceOutdated(const NORVAUString& path);
    float finestResolution() const;
    // What the members hold: the union of their own extents within the
    // compound's cover, and the finest of their own resolutions; false when
    // no member holds anything.
    bool memberBounds(NORVAArray<double>& minimum, NORVAArray<double>& maximum, double& resolution) const;
    const std::shared_ptr<const KIVODescriptor>& mergedDescriptor();
    long moveFiles(const NORVAUString& newName);
    long reopenMembers(const NORVAUString& newName);

    template <class Query>
    NORVAType<KIVOSurfaceIter> queryMembers(Query run, NORVAProgress* progress, double selector, long& status);

    NORVAUString m_folder;  // drive + folder, with its trailing separator
    NORVAUString m_name;    // the surface's name without extension
    NORVAUString m_headerPath;
    NORVASurfacePin m_pin;  // the header as read or last stored here
    NORVAType<KIVOSurfaceXMLMetaData> m_metadata;
    std::unique_ptr<KIVOCompoundDataHeader> m_header;
    std::vector<DataIORangeEntry> m_members;
    bool m_outdated = false;
    std::shared_ptr<StagedMonitor> m_monitor;
    // The members' descriptors merged once, for every query's iterator.
    std::shared_ptr<const KIVODescriptor> m_merged;
};
