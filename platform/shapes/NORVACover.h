#pragma once
// A 2-D extent with the coordinate system it is expressed in. Bounds are
// always in the order (minimum x, minimum y, maximum x, maximum y).
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAnBox.h"
#include "platform/proj/NORVACoordSystem.h"

class KIVO_EXPORT NORVACover : public NORVAObject {
public:
    // An empty cover without a coordinate system.
    NORVACover() = default;
    NORVACover(double minX, double minY, double maxX, double maxY);
    NORVACover(double minX, double minY, double maxX, double maxY, const NORVACoordSystem& coordSystem);
    NORVACover(const NORVABox2D& box, const NORVACoordSystem* coordSystem);
    NORVACover(const NORVACover& o);
    NORVACover& operator=(const NORVACover& o);

    NORVAType<NORVACover> newCopy() const { return makeNORVAType<NORVACover>(*this); }

    void getCover(double& minX, double& minY, double& maxX, double& maxY) const;
    void setCover(double minX, double minY, double maxX, double maxY);
    const NORVABox2D& getBox() const { return m_box; }
    bool isEmpty() const { return m_box.isEmpty(); }
    double getWidth() const;
    double getHeight() const;

    // Null when the cover has none.
    const NORVACoordSystem* getCoordSystem() const { return m_coordSystem.get(); }
    void setCoordSystem(const NORVACoordSystem& cs) { m_coordSystem = cs.newCopy(); }

    // The smallest cover in `target` that holds this cover's outline (edges
    // are densified, so curved images of straight edges are covered). A cover
    // without a coordinate system, or one equal to the target, is copied
    // unchanged. Empty handle and non-zero status on failure.
    NORVAType<NORVACover> transformTo(const NORVACoordSystem& target, long& status) const;

    void print(std::ostream& os) const override;

private:
    NORVABox2D m_box;
    NORVAType<NORVACoordSystem> m_coordSystem;
};
