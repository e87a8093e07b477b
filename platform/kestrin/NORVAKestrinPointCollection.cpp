#include "platform/kestrin/NORVAKestrinPointCollection.h"

long NORVAKestrinPointCollection::setPoint(size_t i, const NORVAArray<double>& coordinates,
                                           const NORVAKestrinGenericDataObject& record, int) {
    if (i >= m_points.size() || coordinates.size() < 2) return -1;
    m_points[i] = NORVAKestrinPoint(0, coordinates[0], coordinates[1], record, NORVAKestrinMortonKey());
    return 0;
}
