#pragma once
// A stored point: its id in the store, its position, its record and its
// Z-order key. A point not yet stored has id 0.
#include "platform/core/KIVOExport.h"
#include <cstdint>

#include "platform/core/NORVAArray.h"
#include "platform/kestrin/NORVAKestrinGenericDataObject.h"
#include "platform/kestrin/NORVAKestrinMortonKey.h"

class KIVO_EXPORT NORVAKestrinPoint {
public:
    NORVAKestrinPoint() = default;
    NORVAKestrinPoint(int64_t id, double x, double y, NORVAKestrinGenericDataObject record,
                      const NORVAKestrinMortonKey& key);

    int64_t getId() const { return m_id; }
    // Fills (x, y).
    void getCoord(NORVAArray<double>& coord) const;
    double getX() const { return m_x; }
    double getY() const { return m_y; }
    // The position that belongs to attribute i: the values of its X and Y
    // companions when the layout gives both, else the point's own. -1 for a
    // bad index.
    long getAttributeAndCoord(long index, NORVAArray<double>& coord) const;
    const NORVAKestrinGenericDataObject& getData() const { return m_record; }
    NORVAKestrinGenericDataObject& getData() { return m_record; }
    const NORVAKestrinMortonKey& getMortonKey() const { return m_key; }

private:
    int64_t m_id = 0;
    double m_x = 0.0;
    double m_y = 0.0;
    NORVAKestrinGenericDataObject m_record;
    NORVAKestrinMortonKey m_key;
};
