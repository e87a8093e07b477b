#pragma once
// The XML metadata of a tile-store surface, built from an open store: its
// attribute table with each attribute's minimum and maximum, coordinate
// system, resolution, extent and (from `create`) the store's source metadata
// under "Import". Named after the surface, so storing it writes stem + ".xml"
// beside the surface.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

class NORVAKestrinTileStore;
class NORVAKestrinDataIO;

class KIVO_EXPORT KestrinXMLMetaData : public KIVOSurfaceXMLMetaData {
public:
    KestrinXMLMetaData(NORVAType<KIVOSurfaceAttributeTable>& table, const NORVAUString& name);
    explicit KestrinXMLMetaData(const NORVAUString& name);
    // A copy of another surface's XML metadata.
    explicit KestrinXMLMetaData(const KIVOSurfaceXMLMetaData& metadata) : KIVOSurfaceXMLMetaData(metadata) {}

    NORVAUString getClassTypeName() const override { return NORVAUString("KestrinXMLMetaData"); }
    // The designated soundings of the data-IO's store (none over a data-IO
    // that is not a tile store's); status 0.
    NORVAType<KIVODesignatedIter> getDesignatedIter(KIVOSurfaceDataIO& dataIO, long& status) override;

    // An empty handle and a non-zero status on failure (no layout or data-IO:
    // -1; the map-definition, coordinate-system or string status otherwise).
    static NORVAType<KestrinXMLMetaData> create(const NORVAKestrinTileStore& store, long& status,
                                                const NORVAUString& name = NORVAUString());
    // What `create` builds, without the "Import" section.
    static NORVAType<KestrinXMLMetaData> fromDataIO(const NORVAKestrinDataIO& io, long& status,
                                                    const NORVAUString& name);
    // The attribute table of the store's layout, with the minimum and maximum
    // of every numeric attribute that holds values.
    static NORVAType<KIVOSurfaceAttributeTable> attributeTable(const NORVAKestrinDataIO& io);
};
