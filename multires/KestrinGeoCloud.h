#pragma once
// A tile store offered to the data-set layer as a point cloud: every store
// field is a band ("Status" only when asked for), followed by the band
// "Index" with one 64-bit identifier per node. Depths are served negated
// (heights). The adapter only reads. Node iterators and bands refer to the
// cloud, which must outlive them.
#include "platform/core/KIVOExport.h"
#include <map>
#include <memory>
#include <vector>

#include "multires/KestrinXMLMetaData.h"
#include "platform/cloudkit/ORBOGeoCloud.h"
#include "platform/kestrin/NORVAKestrinTileStore.h"

class KestrinGeoCloudBand;

class KIVO_EXPORT KestrinGeoCloud : public ORBO_3_12_0_::DataSet::Cloud::GeoCloud {
public:
    // `nodeIndex`: node identifiers from the points' Morton keys, else
    // counted; `statusBand`: "Status" becomes a band too.
    KestrinGeoCloud(const NORVAUString& path, long& status, bool nodeIndex, bool statusBand);
    ~KestrinGeoCloud() override;

    NORVAType<NORVACover> getFullCover() const override;
    const KIVOSurfaceMetaData* getMetaData() const override { return m_metadata.get(); }
    KIVOSurfaceMetaData* getMetaData() override { return m_metadata.get(); }
    // The store's header path (".kps").
    NORVAUString getPath() const override { return m_storePath; }
    BandPtr getBand(unsigned id) override;
    std::shared_ptr<const ORBO_3_12_0_::DataSet::Cloud::GeoCloudBand> getBand(unsigned id) const override;
    unsigned getNumBands() const override { return static_cast<unsigned>(m_bandMap.size()) + 1; }
    long getBandID(const NORVAUString& name) const override;
    long save(NORVAProgress*) override { return kNotOffered; }
    long removeBand(unsigned) override { return kNotOffered; }
    NodeIteratorPtr query(const NORVAGeometry&, long& status) override;
    NodeIteratorPtr query(const NORVAAreaGeometry& area, const std::vector<unsigned>& bandIds, bool, long& status,
                          NORVAProgress* progress) override;
    NodeIteratorPtr query(const NORVACover& cover, const std::vector<unsigned>& bandIds, bool, long& status,
                          NORVAProgress* progress) override;
    bool canAddNodes() const override { return false; }
    long getNodeCount() const override { return 0; }
    long flush() override { return kNotOffered; }
    NORVAUString getDefaultElevationBand() const override { return NORVAUString("Depth"); }
    void releaseCaches() override {}
    long setCoordSys(const NORVACoordSystem&) override { return kNotOffered; }
    NodeIteratorPtr query(const NORVAUString&, long& status) override;

    // Null until the store opened.
    NORVAKestrinDataIO* getDataIO() const { return m_store ? m_store->getDataIO(0) : nullptr; }
    // The store field behind a band; -1 for the index band or an unknown id.
    long getAttributeIndex(unsigned bandId) const;
    unsigned getIndexBandID() const { return getNumBands() - 1; }
    // The band of the "Depth" field.
    unsigned getDepthBandID() const { return m_depthBand; }
    bool usesNodeIndex() const { return m_nodeIndex; }

private:
    long open();
    long openDataIO(NORVAType<NORVAKestrinDataIO>& io) const;
    long initCloud();
    void fillBandMap();

    NORVAUString m_path;
    NORVAUString m_storePath;
    std::unique_ptr<NORVAKestrinTileStore> m_store;
    NORVAType<KestrinXMLMetaData> m_metadata;
    long m_depthAttribute = -1;
    unsigned m_depthBand = 0;
    bool m_nodeIndex;
    bool m_statusBand;
    std::vector<long> m_bandMap;
    mutable std::map<unsigned, std::shared_ptr<KestrinGeoCloudBand>> m_bands;
};
