#include "platform/proj/NORVACoordSystem.h"

#include <proj.h>

#include <cmath>
#include <ostream>
#include <string>

struct NORVACoordSystem::Proj {
    PJ_CONTEXT* ctx = nullptr;
    PJ* crs = nullptr;
    // The definition as PROJ took it, which rebuilds the system in another context.
    std::string accepted;
    // The last transformation asked for, by the target's accepted definition:
    // callers transform many points to the same system.
    std::string opTarget;
    PJ* op = nullptr;

    Proj() {
        ctx = proj_context_create();
        if (ctx) {
            proj_context_set_enable_network(ctx, 0);
            proj_log_level(ctx, PJ_LOG_NONE);
        }
    }
    ~Proj() {
        if (op) proj_destroy(op);
        if (crs) proj_destroy(crs);
        if (ctx) proj_context_destroy(ctx);
    }
    Proj(const Proj&) = delete;
    Proj& operator=(const Proj&) = delete;

    PJ* createCrs(const std::string& def) const {
        PJ* pj = proj_create(ctx, def.c_str());
        if (pj && proj_is_crs(pj)) return pj;
        if (pj) proj_destroy(pj);
        return nullptr;
    }

    PJ* operationTo(const std::string& target) {
        if (op && opTarget == target) return op;
        if (op) proj_destroy(op);
        op = nullptr;
        opTarget.clear();
        PJ* dst = createCrs(target);
        if (!dst) return nullptr;
        PJ* raw = proj_create_crs_to_crs_from_pj(ctx, crs, dst, nullptr, nullptr);
        proj_destroy(dst);
        if (!raw) return nullptr;
        // Easting/longitude first whatever the authority's axis order.
        op = proj_normalize_for_visualization(ctx, raw);
        proj_destroy(raw);
        if (op) opTarget = target;
        return op;
    }
};

namespace {

bool isProjString(const std::string& def) {
    const size_t first = def.find_first_not_of(" \t");
    return first != std::string::npos && def[first] == '+';
}

PJ_TYPE horizontalType(PJ_CONTEXT* ctx, PJ* crs) {
    PJ_TYPE type = proj_get_type(crs);
    PJ* inner = nullptr;
    if (type == PJ_TYPE_BOUND_CRS) inner = proj_get_source_crs(ctx, crs);
    else if (type == PJ_TYPE_COMPOUND_CRS) inner = proj_crs_get_sub_crs(ctx, crs, 0);
    if (inner) {
        type = horizontalType(ctx, inner);
        proj_destroy(inner);
    }
    return type;
}

}  // namespace

NORVACoordSystem::NORVACoordSystem() { m_status = CS_UNDEFINED; }

NORVACoordSystem::NORVACoordSystem(const NORVAUString& definition, const NORVAUString& name,
                                   const NORVAScaler& scaler)
    : m_name(name), m_scaler(scaler) {
    m_status = define(definition);
}

NORVACoordSystem::NORVACoordSystem(const NORVAUString& name, const NORVAUString& definition,
                                   const NORVAUString& scalerText) {
    m_status = fromStrings(name, definition, scalerText);
}

NORVACoordSystem::NORVACoordSystem(const NORVACoordSystem& o)
    : NORVAObject(o), m_name(o.m_name), m_scaler(o.m_scaler) {
    if (!o.m_definition.isEmpty()) m_status = copyDefinition(o);
}

NORVACoordSystem& NORVACoordSystem::operator=(const NORVACoordSystem& o) {
    if (this == &o) return *this;
    NORVAObject::operator=(o);
    m_name = o.m_name;
    m_scaler = o.m_scaler;
    m_definition = NORVAUString();
    m_proj.reset();
    if (!o.m_definition.isEmpty()) m_status = copyDefinition(o);
    return *this;
}

// A defined system is cloned into a context of its own: parsing the
// definition again would look it up in PROJ's database for every copy.
long NORVACoordSystem::copyDefinition(const NORVACoordSystem& o) {
    if (!o.isValid()) return define(o.m_definition);
    auto p = std::make_unique<Proj>();
    if (!p->ctx) return define(o.m_definition);
    p->crs = proj_clone(p->ctx, o.m_proj->crs);
    if (!p->crs) return define(o.m_definition);
    p->accepted = o.m_proj->accepted;
    m_definition = o.m_definition;
    m_proj = std::move(p);
    return CS_OK;
}

NORVACoordSystem::~NORVACoordSystem() = default;

long NORVACoordSystem::define(const NORVAUString& definition) {
    m_definition = definition;
    m_proj.reset();
    const std::string def = definition.toUTF8();
    if (def.empty()) return CS_UNDEFINED;
    auto p = std::make_unique<Proj>();
    if (!p->ctx) return CS_UNDEFINED;
    std::string accepted = def;
    p->crs = p->createCrs(accepted);
    // A PROJ string names a system only with "+type=crs".
    if (!p->crs && isProjString(def) && def.find("+type=crs") == std::string::npos) {
        accepted = def + " +type=crs";
        p->crs = p->createCrs(accepted);
    }
    if (!p->crs) return CS_UNDEFINED;
    p->accepted = accepted;
    m_proj = std::move(p);
    return CS_OK;
}

bool NORVACoordSystem::isValid() const { return m_proj && m_proj->crs; }

bool NORVACoordSystem::isEqual(const NORVACoordSystem& other, bool compareScaler) const {
    if (compareScaler && m_scaler != other.m_scaler) return false;
    if (!isValid() || !other.isValid()) return !isValid() && !other.isValid() && m_definition == other.m_definition;
    if (m_proj->accepted == other.m_proj->accepted) return true;
    // Both objects in this object's context: PROJ objects do not mix contexts.
    PJ* theirs = m_proj->createCrs(other.m_proj->accepted);
    if (!theirs) return false;
    const int same = proj_is_equivalent_to_with_ctx(m_proj->ctx, m_proj->crs, theirs,
                                                    PJ_COMP_EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS);
    proj_destroy(theirs);
    return same != 0;
}

bool NORVACoordSystem::isGeographic() const {
    if (!isValid()) return false;
    const PJ_TYPE type = horizontalType(m_proj->ctx, m_proj->crs);
    return type == PJ_TYPE_GEOGRAPHIC_2D_CRS || type == PJ_TYPE_GEOGRAPHIC_3D_CRS;
}

long NORVACoordSystem::transform(const NORVACoordSystem& to, double& x, double& y) const {
    double z = 0.0;
    return transform(to, x, y, z);
}

long NORVACoordSystem::transform(const NORVACoordSystem& to, double& x, double& y, double& z) const {
    if (!isValid() || !to.isValid()) return CS_UNDEFINED;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return CS_TRANSFORM_FAILED;
    if (m_proj->accepted == to.m_proj->accepted) return CS_OK;
    PJ* op = m_proj->operationTo(to.m_proj->accepted);
    if (!op) return CS_TRANSFORM_FAILED;
    proj_errno_reset(op);
    const PJ_COORD out = proj_trans(op, PJ_FWD, proj_coord(x, y, z, 0.0));
    if (proj_errno(op) != 0 || !std::isfinite(out.xyz.x) || !std::isfinite(out.xyz.y) ||
        out.xyz.x == HUGE_VAL || out.xyz.y == HUGE_VAL)
        return CS_TRANSFORM_FAILED;
    x = out.xyz.x;
    y = out.xyz.y;
    z = std::isfinite(out.xyz.z) ? out.xyz.z : z;
    return CS_OK;
}

long NORVACoordSystem::toStrings(NORVAUString& s1, NORVAUString& s2, NORVAUString& s3) const {
    if (!isValid()) return CS_UNDEFINED;
    s1 = m_name;
    s2 = m_definition;
    s3 = m_scaler.toString();
    return CS_OK;
}

long NORVACoordSystem::fromStrings(const NORVAUString& s1, const NORVAUString& s2, const NORVAUString& s3) {
    NORVAScaler scaler;
    if (s2.trimmed().isEmpty() || (!s3.trimmed().isEmpty() && !NORVAScaler::fromString(s3, scaler)))
        return CS_BAD_STRINGS;
    NORVACoordSystem built(s2, s1, scaler);
    if (built.getStatus() != CS_OK) return built.getStatus();
    *this = built;
    return CS_OK;
}

void NORVACoordSystem::print(std::ostream& os) const {
    os << "NORVACoordSystem(name=\"" << m_name << "\", definition=\"" << m_definition
       << "\", scaler=\"" << m_scaler.toString() << "\", status=" << m_status << ")";
}
