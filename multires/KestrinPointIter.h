#pragma once
// Serves the points of a tile store (or cell store) as soundings. The store
// is opened from a file name or given by the caller (who keeps it alive for
// the iterator's life); points are chosen by nothing, a box or a polygon, and
// a point whose "Status" marks it rejected is never served. Every stored
// attribute but "Depth" and "Status" is offered as an additional attribute.
// The indices of getAsDouble, getType and get are store attribute indices.
#include "platform/core/KIVOExport.h"
#include <map>
#include <memory>
#include <vector>

#include "multires/KestrinCrazyAttSet.h"
#include "platform/core/NORVAArray.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOPointIter.h"
#include "platform/kestrin/NORVAKestrinTileStore.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"
#include "platform/proj/NORVACoordSystem.h"

class KIVO_EXPORT KestrinPointIter : public KIVOPointIter {
public:
    using Polygon = NORVACompGeom::NORVAPolygonPrimitive;
    static constexpr size_t kTextBufferSize = 1024;

    explicit KestrinPointIter(const NORVAUString& path);
    KestrinPointIter(const NORVAUString& path, NORVAType<Polygon> polygon, bool interpolated);
    explicit KestrinPointIter(NORVAKestrinTileStore& store);
    KestrinPointIter(NORVAKestrinTileStore& store, NORVAType<Polygon> polygon, bool interpolated);
    KestrinPointIter(const NORVAUString& path, const NORVAArray<double>& minimum, const NORVAArray<double>& maximum);
    KestrinPointIter(NORVAKestrinTileStore& store, const NORVAArray<double>& minimum,
                     const NORVAArray<double>& maximum);
    KestrinPointIter(const KestrinPointIter&) = delete;
    KestrinPointIter& operator=(const KestrinPointIter&) = delete;
    ~KestrinPointIter() override;

    bool next(long& status) override;
    // -1 and x, y unchanged when there is no current point.
    long getPosition(double& x, double& y) const override;
    const NORVACoordSystem* getCoordSystem() const override { return m_coordSystem.get(); }
    // The names of the additional attributes.
    void getAdditionalAttributes(std::vector<NORVAUString>& names) const override;
    // A new view of the current point's additional attributes (replacing the
    // one handed out before) and their layout. Without a current point the
    // set is null and the result -1.
    long getAdditionalAttributes(KIVOAttributeSet*& set, const KIVODescriptor*& descriptor);
    // Appends "Depth", and "Uncertainty" when "Interpolated" is offered.
    void getAvailable(std::vector<NORVAUString>& names) const override;
    // The largest double without a current point: -1 then, and for an index
    // the layout does not have.
    long getAsDouble(long index, double& value) const override;
    // DOUBLE when the store has no layout.
    DATA_TYPE getType(long index) const override;
    // Without a current point: an empty text, the largest 32-bit value, the
    // largest double, each with 0. An index the layout does not have gives
    // the same values and -1.
    long get(long index, NORVAUString& value) const override;
    long get(long index, long& value) const override;
    long get(long index, double& value) const override;
    long count() const override;
    // False (index -1) when the store has no layout or no attribute of the name.
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override;

    // Reports the store attribute `from` under the name `to` among the
    // additional attributes.
    void additionalAttsConvert(const NORVAUString& from, const NORVAUString& to);

    NORVAKestrinTileStore* getStore() const { return m_store; }
    const NORVAUString& getPath() const { return m_path; }
    const KIVODescriptor* getAdditionalDescriptor() const { return m_additionalDescriptor.get(); }
    // True when points on and near the polygon's edge are decided by the
    // tolerant test rather than the exact one.
    bool usesApproximatePolygonTest() const { return m_approximatePolygonTest; }

protected:
    // Opens the store when none is held yet, reads its coordinate system and
    // layout and stands on the first point to serve. May run again (a
    // subclass does, for its own skipping rule): the store is kept, the rest
    // is built afresh.
    long initialize();
    // True when the current record is not to be served.
    virtual bool skipCurrentRecord() const;
    // Null when the iterator stands on no point.
    const NORVAKestrinPoint* currentPoint() const;
    const NORVAKestrinGenericDataObject* currentRecord() const;
    long getStatusIndex() const { return m_statusIndex; }

private:
    void takePolygon(NORVAType<Polygon> polygon);
    long openStore();
    long readHeader();
    long initExtraAtts();
    NORVAKestrinQuery makeQuery() const;
    void skipRejected();
    bool insidePolygon(double x, double y) const;
    const NORVAKestrinGenericDataDescriptor* layout() const;
    bool validIndex(long index) const;

    NORVAType<NORVAKestrinDataPointIterator> m_points;
    long m_interpolatedIndex = -1;
    long m_statusIndex = -1;
    NORVAType<Polygon> m_polygon;
    std::vector<NORVAArray<double>> m_box;
    NORVAKestrinTileStore* m_store = nullptr;
    std::unique_ptr<NORVAKestrinTileStore> m_ownedStore;
    NORVAType<NORVACoordSystem> m_coordSystem;
    mutable NORVAArray<double> m_coordinates;
    mutable char m_text[kTextBufferSize];
    NORVAUString m_path;
    bool m_interpolated = false;
    std::unique_ptr<KIVOMemDescriptor> m_additionalDescriptor;
    std::unique_ptr<KestrinCrazyAttSet> m_additionalSet;
    std::map<NORVAUString, NORVAUString> m_nameConversions;
    bool m_approximatePolygonTest = false;
    std::vector<long> m_kept;
};
