#pragma once
// A query geometry: point, line, area or a collection of them, in the
// coordinates of the surface it is used on.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAnBox.h"

class KIVO_EXPORT NORVAGeometry : public NORVAObject {
public:
    enum GeometryType { POINT = 0, LINE = 1, AREA = 2, COLLECTION = 3 };

    virtual GeometryType getType() const = 0;
    // Empty for a geometry without points.
    virtual NORVABox2D getBoundingBox() const = 0;
    virtual NORVAType<NORVAGeometry> newCopy() const = 0;
};
