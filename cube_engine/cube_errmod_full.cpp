#include "cube_engine/cube_errmod_full.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cube_engine/cube.h"
#include "cube_engine/cube_errmod_iho.h"

namespace {

const char *k_full = "errmod_full";
const char *k_atlas = "errmod_atlas";
const double k = CUBE_DEG2RAD;

inline double sq(double v) { return v * v; }

ErrModFull *create(int kind, const char *module, Device device, const _vessel *vessel)
{
    ErrModFull *ws = (ErrModFull *)calloc(1, sizeof(ErrModFull));
    if (ws == nullptr) {
        cube_report(module, "failed to allocate full error workspace.\n");
        return nullptr;
    }
    if (!errprop_init(&ws->terms, kind, device, vessel, module)) {
        cube_report(module, "failed allocating beam->angle LUT.\n");
        errprop_free(&ws->terms);
        free(ws);
        return nullptr;
    }
    return ws;
}

// What the sums of one sounding share.
struct Geometry {
    double d, r, c;      // depth, range, sound speed
    double theta0;       // table angle (rad)
    double alpha;        // angle variance
    double rv;           // range variance
    double phi;          // table angle plus the ping's roll
    double K, J;         // horizontal projections of the beam
};

Geometry geometry_of(ErrPropTerms *t, Device device, const _vessel *v, const _ping *ping,
                     const _sounding *s, double theta0)
{
    Geometry g;
    g.d = s->depth;
    g.r = s->range;
    g.c = ping->sspeed;
    g.theta0 = theta0;
    g.alpha = errprop_angle_variance(t, device, v, s, theta0, ping);
    g.rv = device_range_variance(device, s, ping);
    g.phi = theta0 + k * ping->roll;
    const double cp2 = sq(t->cp);
    g.K = 1.0 - cp2 * sq(cos(theta0));
    g.J = 1.0 - cp2 * sq(sin(theta0));
    return g;
}

// Attitude part of the vertical sum shared by every model.
double vertical_attitude(const ErrPropTerms *t, const Geometry &g)
{
    return (t->Re + g.alpha) * g.r * g.r * sq(t->cp) * sq(sin(g.phi)) +
           (t->Pe + t->P) * g.r * g.r * sq(t->sp) * sq(cos(g.phi)) + t->W * g.d * g.d;
}

// Horizontal sum of the ordinary path, without the range terms.
double horizontal_attitude(const ErrPropTerms *t, const Geometry &g)
{
    return (t->Ge + t->G) * g.K * g.r * g.r + g.alpha * g.J * g.r * g.r +
           (t->Pe + t->P) * g.d * g.d * sq(t->cp) + t->Re;
}

void full_sums(const ErrPropTerms *t, const _vessel *v, const _sounding *s, const Geometry &g,
               double *vertical, double *horizontal)
{
    const int h = errprop_head(s);
    const double vf = vertical_attitude(t, g) +
                      sq(t->cp) * sq(cos(g.phi)) * (g.rv + g.r * g.r * t->S / (g.c * g.c));
    const double hf = g.K * (g.rv + sq(g.r * v->sd_svp / g.c)) + horizontal_attitude(t, g);
    *vertical = vf + t->Ve + t->T + t->heave[h];
    *horizontal = hf + t->gps_arm[h] + t->D + t->M;
}

float slope_of(float word) { return word == CUBE_INVALID_FLOAT ? 0.0f : word; }

void atlas_sums(const ErrPropTerms *t, Device device, const _vessel *v, _sounding *s,
                const Geometry &g, double *vertical, double *horizontal)
{
    float across = 0.0f, along = 0.0f, pulse = 0.0f;
    device_get_beam_widths(device, &across, &along);
    device_get_f17(device, &pulse);
    const uint32_t word = device_get_word(device);
    float factor;
    memcpy(&factor, &word, sizeof factor);
    const double theta_f = g.theta0 == 1.570796327 ? g.theta0 - 0.001 : g.theta0;
    s->across_footprint = (float)(g.r * tan(k * across) * factor / cos(theta_f));
    s->along_footprint = (float)(g.r * tan(k * along) * factor);
    const double s15 = slope_of(s->slope15), s16 = slope_of(s->slope16);
    const double s17 = s->across_footprint, s18 = s->along_footprint;
    const double tau = (v->sd_tx_latency + 0.001 * pulse) / 2.0;
    const double sin0 = sin(g.theta0), cos0 = cos(g.theta0);
    const double va = vertical_attitude(t, g) + sq(t->cp) * sq(cos(g.phi)) * g.rv +
                      sq(v->sd_svp * g.d / g.c) + sq(sin0 * g.c * tau) +
                      sq((s15 + s16) * sin0 * g.c * tau);
    const double ha = g.K * g.rv + horizontal_attitude(t, g) + sq(fmax(s18 * s16, s17 * s15)) +
                      sq(2.0 * v->sd_svp * s->x13 / g.c) + sq(cos0 * g.c * tau) + sq(fmax(s17, s18));
    const int h = errprop_head(s);
    *vertical = va + t->Ve + t->T + t->heave[h];
    *horizontal = ha + t->gps_arm[h] + t->D + t->M;
}

// Per-beam path; false when the sounding's beam has no per-beam geometry.
bool per_beam_sums(const ErrPropTerms *t, const _vessel *v, const _ping *ping, const _sounding *s,
                   const Geometry &g, double *vertical, double *horizontal)
{
    const uint32_t b = s->beam_number;
    if (b >= v->per_beam_count || v->arm_flag == nullptr || v->draft_factor == nullptr ||
        v->heave_fraction == nullptr || v->arm_x == nullptr || v->arm_y == nullptr ||
        v->arm_z == nullptr || v->heading == nullptr || v->roll_sdev == nullptr)
        return false;
    const bool arm = v->arm_flag[b] != 0;
    const double xb = v->arm_x[b], yb = v->arm_y[b], zb = v->arm_z[b];
    const double add = arm ? 1.0 : 0.0;
    const double fixed = fmax(t->H0, sq(2.0 * ping->heave * v->heave_fraction[b]));
    const double zv = errprop_heave_variance(t, v->vt_arm_x + add * xb, v->vt_arm_y + add * yb,
                                             v->vt_arm_z + add * zb, fixed);
    *vertical = g.rv + g.d * g.d * t->S / (g.c * g.c) + t->W * g.d * g.d + zv +
                sq(v->draft_factor[b]) * t->Td + t->Tt + t->Ve;
    double ro2 = sq(k * v->sd_roll);
    if (arm) ro2 += sq(k * v->roll_sdev[b]);
    double hb = errprop_gps_arm_variance(t, v, v->hz_arm_x + add * xb, v->hz_arm_y + add * yb,
                                         v->hz_arm_z + add * zb, ro2);
    if (!arm) hb += 2.0 * t->gps_offset + (xb * xb + yb * yb) * sq(k * v->heading[b]);
    *horizontal = hb + t->D + t->M;
    return true;
}

// One sounding at position i; false when it lies outside what the table or
// the per-beam geometry cover (it then carries the invalid float).
bool apply_sounding(ErrModFull *ws, bool atlas, Device device, const _vessel *v, const _ping *ping,
                    _sounding *s, uint32_t i)
{
    ErrPropTerms *t = &ws->terms;
    double theta0 = 0.0, vertical = 0.0, horizontal = 0.0;
    bool in_range = errprop_beam_angle(t, s, &theta0);
    if (in_range) {
        const Geometry g = geometry_of(t, device, v, ping, s, theta0);
        if (v->per_beam_mode == 0) {
            if (atlas)
                atlas_sums(t, device, v, s, g, &vertical, &horizontal);
            else
                full_sums(t, v, s, g, &vertical, &horizontal);
        } else if (i < v->per_beam_count) {
            in_range = per_beam_sums(t, v, ping, s, g, &vertical, &horizontal);
        } else {
            vertical = horizontal = INFINITY;  // beyond the per-beam geometry
        }
    }
    if (!in_range) vertical = horizontal = INFINITY;
    s->dz = errmod_store_variance(vertical);
    s->dr = errmod_store_variance(horizontal);
    return in_range;
}

int apply(bool atlas, Device device, const _vessel *v, const _ping *ping, _sounding *soundings,
          uint32_t count, ErrModFull *ws)
{
    if (ws == nullptr || v == nullptr || ping == nullptr || (soundings == nullptr && count > 0))
        return 0;
    if (!errprop_start_ping(&ws->terms, device, v, ping, soundings, count, atlas ? k_atlas : k_full))
        return 0;
    int ok = 1;
    for (uint32_t i = 0; i < count; ++i)
        if (!apply_sounding(ws, atlas, device, v, ping, &soundings[i], i)) ok = 0;
    return ok;
}

}  // namespace

ErrModFull *errmod_full_new(Device device, const _vessel *vessel)
{
    return create(ERRPROP_FULL, k_full, device, vessel);
}

ErrModFull *errmod_atlas_new(Device device, const _vessel *vessel)
{
    return create(ERRPROP_ATLAS, k_atlas, device, vessel);
}

int errmod_full_apply(Device device, const _vessel *vessel, const _ping *ping,
                      _sounding *soundings, uint32_t count, ErrModFull *workspace)
{
    return apply(false, device, vessel, ping, soundings, count, workspace);
}

int errmod_atlas_apply(Device device, const _vessel *vessel, const _ping *ping,
                       _sounding *soundings, uint32_t count, ErrModFull *workspace)
{
    return apply(true, device, vessel, ping, soundings, count, workspace);
}

void errmod_full_release(ErrModFull *workspace)
{
    if (workspace == nullptr) return;
    errprop_free(&workspace->terms);
    free(workspace);
}

void errmod_full_update_vessel(const _vessel *vessel, ErrModFull *workspace)
{
    errprop_update_vessel(&workspace->terms, vessel);
}

void errmod_full_set_extra_sdev(double heading, double vertical, double pitch, double roll,
                                ErrModFull *workspace)
{
    errprop_set_extra_sdev(&workspace->terms, heading, vertical, pitch, roll);
}

int errmod_full_set_beam_angles(uint32_t n, const double *angles, ErrModFull *workspace)
{
    return errprop_set_beam_angles(&workspace->terms, n, angles, k_full);
}

void errmod_full_set_head_mounts(uint32_t split, double first, double second, ErrModFull *workspace)
{
    errprop_set_head_mounts(&workspace->terms, split, first, second);
}

void errmod_full_set_head_offsets(uint32_t split, double first, double second,
                                  ErrModFull *workspace)
{
    errprop_set_head_offsets(&workspace->terms, split, first, second);
}

void errmod_full_set_head_split(uint32_t split, ErrModFull *workspace)
{
    errprop_set_head_split(&workspace->terms, split);
}

double errmod_full_get_beam_angle(uint32_t beam, const ErrModFull *workspace)
{
    return errprop_get_beam_angle(&workspace->terms, beam);
}

void errmod_atlas_release(ErrModFull *workspace) { errmod_full_release(workspace); }

void errmod_atlas_update_vessel(const _vessel *vessel, ErrModFull *workspace)
{
    errmod_full_update_vessel(vessel, workspace);
}

void errmod_atlas_set_extra_sdev(double heading, double vertical, double pitch, double roll,
                                 ErrModFull *workspace)
{
    errmod_full_set_extra_sdev(heading, vertical, pitch, roll, workspace);
}

int errmod_atlas_set_beam_angles(uint32_t n, const double *angles, ErrModFull *workspace)
{
    return errmod_full_set_beam_angles(n, angles, workspace);
}

void errmod_atlas_set_head_mounts(uint32_t split, double first, double second,
                                  ErrModFull *workspace)
{
    errmod_full_set_head_mounts(split, first, second, workspace);
}

void errmod_atlas_set_head_offsets(uint32_t split, double first, double second,
                                   ErrModFull *workspace)
{
    errmod_full_set_head_offsets(split, first, second, workspace);
}

void errmod_atlas_set_head_split(uint32_t split, ErrModFull *workspace)
{
    errmod_full_set_head_split(split, workspace);
}

double errmod_atlas_get_beam_angle(uint32_t beam, const ErrModFull *workspace)
{
    return errmod_full_get_beam_angle(beam, workspace);
}

int errmod_full_execute_params(const ParList *) { return 1; }

int errmod_atlas_execute_params(const ParList *) { return 1; }
