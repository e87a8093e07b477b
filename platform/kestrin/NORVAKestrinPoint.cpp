#include "platform/kestrin/NORVAKestrinPoint.h"

NORVAKestrinPoint::NORVAKestrinPoint(int64_t id, double x, double y, NORVAKestrinGenericDataObject record,
                                     const NORVAKestrinMortonKey& key)
    : m_id(id), m_x(x), m_y(y), m_record(std::move(record)), m_key(key) {}

void NORVAKestrinPoint::getCoord(NORVAArray<double>& coord) const { coord = NORVAArray<double>{m_x, m_y}; }

long NORVAKestrinPoint::getAttributeAndCoord(long index, NORVAArray<double>& coord) const {
    const NORVAKestrinGenericDataDescriptor* layout = m_record.getDescriptor();
    if (layout == nullptr || index < 0 || index >= layout->getNumAtts()) return -1;
    const long xi = layout->getAttrXCoordIndex(index);
    const long yi = layout->getAttrYCoordIndex(index);
    if (xi >= 0 && yi >= 0 && m_record.getAttribute(xi, false) && m_record.getAttribute(yi, false)) {
        coord = NORVAArray<double>{m_record.getAttributeAsDouble(xi), m_record.getAttributeAsDouble(yi)};
    } else {
        getCoord(coord);
    }
    return 0;
}
