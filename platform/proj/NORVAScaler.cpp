#include "platform/proj/NORVAScaler.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

NORVAScaler::NORVAScaler(double step) : NORVAScaler(0.0, 0.0, 0.0, step, step, step) {}

NORVAScaler::NORVAScaler(double offsetX, double offsetY, double offsetZ, double scaleX, double scaleY,
                         double scaleZ)
    : m_mode(FIXED), m_offset{offsetX, offsetY, offsetZ}, m_scale{scaleX, scaleY, scaleZ} {}

bool NORVAScaler::isValid() const {
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(m_offset[i]) || !std::isfinite(m_scale[i]) || !(m_scale[i] > 0.0)) return false;
    return true;
}

bool NORVAScaler::toDisk(double v, int axis, int32_t& out) const {
    const double d = std::nearbyint((v - m_offset[axis]) / m_scale[axis]);
    if (!(d >= static_cast<double>(std::numeric_limits<int32_t>::min()) &&
          d <= static_cast<double>(std::numeric_limits<int32_t>::max())))
        return false;
    out = static_cast<int32_t>(d);
    return true;
}

long NORVAScaler::userToDisk(double x, double y, double z, int32_t& dx, int32_t& dy, int32_t& dz) const {
    if (!isValid()) return SCALER_BAD_VALUE;
    int32_t a, b, c;
    if (!toDisk(x, 0, a) || !toDisk(y, 1, b) || !toDisk(z, 2, c)) return SCALER_OUT_OF_RANGE;
    dx = a;
    dy = b;
    dz = c;
    return SCALER_OK;
}

void NORVAScaler::diskToUser(int32_t dx, int32_t dy, int32_t dz, double& x, double& y, double& z) const {
    x = m_offset[0] + dx * m_scale[0];
    y = m_offset[1] + dy * m_scale[1];
    z = m_offset[2] + dz * m_scale[2];
}

long NORVAScaler::snap(double& x, double& y) const {
    int32_t dx, dy, dz;
    const long status = userToDisk(x, y, m_offset[2], dx, dy, dz);
    if (status != SCALER_OK) return status;
    double z;
    diskToUser(dx, dy, dz, x, y, z);
    return SCALER_OK;
}

NORVAUString NORVAScaler::toString() const {
    std::string out = std::to_string(m_mode);
    char buf[40];
    for (double v : {m_offset[0], m_offset[1], m_offset[2], m_scale[0], m_scale[1], m_scale[2]}) {
        std::snprintf(buf, sizeof buf, " %.17g", v);
        out += buf;
    }
    return NORVAUString(out);
}

bool NORVAScaler::fromString(const NORVAUString& text, NORVAScaler& out) {
    const std::string s = text.toUTF8();
    const char* p = s.c_str();
    char* end = nullptr;
    const long mode = std::strtol(p, &end, 10);
    if (end == p || (mode != FLOATING && mode != FIXED)) return false;
    double v[6];
    for (double& d : v) {
        p = end;
        d = std::strtod(p, &end);
        if (end == p) return false;
    }
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
    if (*end != '\0') return false;
    NORVAScaler r(v[0], v[1], v[2], v[3], v[4], v[5]);
    r.m_mode = static_cast<int>(mode);
    if (!r.isValid()) return false;
    out = r;
    return true;
}

bool NORVAScaler::operator==(const NORVAScaler& o) const {
    for (int i = 0; i < 3; ++i)
        if (m_offset[i] != o.m_offset[i] || m_scale[i] != o.m_scale[i]) return false;
    return m_mode == o.m_mode;
}
