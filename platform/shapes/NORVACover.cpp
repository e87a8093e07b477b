#include "platform/shapes/NORVACover.h"

#include <ostream>

namespace {

// Points per edge when following a cover's outline into another system:
// enough that the curved image of an edge stays inside the result for the
// extents surfaces have.
const int kEdgeSteps = 32;

}  // namespace

NORVACover::NORVACover(double minX, double minY, double maxX, double maxY) { setCover(minX, minY, maxX, maxY); }

NORVACover::NORVACover(double minX, double minY, double maxX, double maxY, const NORVACoordSystem& coordSystem)
    : m_coordSystem(coordSystem.newCopy()) {
    setCover(minX, minY, maxX, maxY);
}

NORVACover::NORVACover(const NORVABox2D& box, const NORVACoordSystem* coordSystem) : m_box(box) {
    if (coordSystem) m_coordSystem = coordSystem->newCopy();
}

NORVACover::NORVACover(const NORVACover& o) : NORVAObject(o), m_box(o.m_box) {
    if (o.m_coordSystem) m_coordSystem = o.m_coordSystem->newCopy();
}

NORVACover& NORVACover::operator=(const NORVACover& o) {
    if (this != &o) {
        NORVAObject::operator=(o);
        m_box = o.m_box;
        m_coordSystem = o.m_coordSystem ? o.m_coordSystem->newCopy() : NORVAType<NORVACoordSystem>();
    }
    return *this;
}

void NORVACover::getCover(double& minX, double& minY, double& maxX, double& maxY) const {
    minX = m_box.getMinimum().x();
    minY = m_box.getMinimum().y();
    maxX = m_box.getMaximum().x();
    maxY = m_box.getMaximum().y();
}

void NORVACover::setCover(double minX, double minY, double maxX, double maxY) {
    m_box = NORVABox2D(NORVAPoint2D(minX, minY), NORVAPoint2D(maxX, maxY));
}

double NORVACover::getWidth() const { return isEmpty() ? 0.0 : m_box.getMaximum().x() - m_box.getMinimum().x(); }

double NORVACover::getHeight() const { return isEmpty() ? 0.0 : m_box.getMaximum().y() - m_box.getMinimum().y(); }

NORVAType<NORVACover> NORVACover::transformTo(const NORVACoordSystem& target, long& status) const {
    status = 0;
    if (!m_coordSystem || isEmpty() || m_coordSystem->isEqual(target)) {
        auto copy = makeNORVAType<NORVACover>(m_box, &target);
        return copy;
    }
    double x0, y0, x1, y1;
    getCover(x0, y0, x1, y1);
    NORVABox2D out;
    for (int i = 0; i <= kEdgeSteps; ++i) {
        const double t = static_cast<double>(i) / kEdgeSteps;
        const double xs[4] = {x0 + t * (x1 - x0), x0 + t * (x1 - x0), x0, x1};
        const double ys[4] = {y0, y1, y0 + t * (y1 - y0), y0 + t * (y1 - y0)};
        for (int k = 0; k < 4; ++k) {
            double x = xs[k], y = ys[k];
            status = m_coordSystem->transform(target, x, y);
            if (status != 0) return NORVAType<NORVACover>();
            out.add(NORVAPoint2D(x, y));
        }
    }
    return makeNORVAType<NORVACover>(out, &target);
}

void NORVACover::print(std::ostream& os) const {
    double a, b, c, d;
    getCover(a, b, c, d);
    os << "NORVACover(" << a << ", " << b << ", " << c << ", " << d << ")";
}
