#include "platform/proj/NORVAEllipsoid.h"

#include <ostream>

namespace {

struct Known {
    const char* name;
    const char* projName;
    double a;
    double rf;
};

const Known kKnown[] = {
    {"WG84", "WGS84", 6378137.0, 298.257223563},
    {"WG72", "WGS72", 6378135.0, 298.26},
    {"NA83", "GRS80", 6378137.0, 298.257222101},
};

}  // namespace

NORVAEllipsoid::NORVAEllipsoid(const NORVAUString& name) : m_name(name) {
    for (const Known& k : kKnown) {
        if (name == NORVAUString(k.name)) {
            m_projName = k.projName;
            m_a = k.a;
            m_rf = k.rf;
            return;
        }
    }
    m_status = ELLIPSOID_UNKNOWN;
}

void NORVAEllipsoid::print(std::ostream& os) const {
    os << "NORVAEllipsoid(" << m_name << ", a=" << m_a << ", 1/f=" << m_rf << ", status=" << m_status << ")";
}
