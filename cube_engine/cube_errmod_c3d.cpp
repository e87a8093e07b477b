#include "cube_engine/cube_errmod_c3d.h"

#include <cmath>
#include <cstdlib>

#include "cube_engine/cube.h"
#include "cube_engine/cube_errmod_iho.h"

namespace {

const char *k_module = "errmod_c3d";
const double k = CUBE_DEG2RAD;

inline double sq(double v) { return v * v; }

// False when the sounding's beam has no table angle.
bool apply_sounding(ErrPropTerms *t, Device device, const _vessel *v, const _ping *ping,
                    _sounding *s, float pulse)
{
    double theta0 = 0.0;
    if (!errprop_beam_angle(t, s, &theta0)) {
        s->dz = s->dr = errmod_store_variance(INFINITY);
        return false;
    }
    const int h = errprop_head(s);
    const double d = s->depth, r = s->range, c = ping->sspeed;
    const double alpha = errprop_angle_variance(t, device, v, s, theta0, ping);
    const double rv = device_range_variance(device, s, ping);
    const double phi = theta0 + k * ping->roll;
    const double cp2 = sq(t->cp);
    const double K = 1.0 - cp2 * sq(cos(theta0)), J = 1.0 - cp2 * sq(sin(theta0));
    // A vertical beam has no detection term: U is infinite and the sounding
    // gets the invalid float.
    const double U = fabs(10.0 * c * 0.001 * pulse * t->X / sin(theta0)) + 0.1 * theta0 * theta0;
    const double vc = (t->Re + alpha) * r * r * cp2 * sq(sin(phi)) +
                      (t->Pe + t->P) * r * r * sq(t->sp) * sq(cos(phi)) + t->W * d * d + U * U;
    const double hf = K * (rv + sq(r * v->sd_svp / c)) + (t->Ge + t->G) * K * r * r +
                      alpha * J * r * r + (t->Pe + t->P) * d * d * cp2 + t->Re;
    s->dz = errmod_store_variance(vc + t->Ve + t->T + t->heave[h]);
    s->dr = errmod_store_variance(hf + t->gps_arm[h] + t->D + t->M);
    return true;
}

}  // namespace

ErrModC3D *errmod_c3d_new(Device device, const _vessel *vessel)
{
    ErrModC3D *ws = (ErrModC3D *)calloc(1, sizeof(ErrModC3D));
    if (ws == nullptr) {
        cube_report(k_module, "failed to allocate full error workspace.\n");
        return nullptr;
    }
    if (!errprop_init(&ws->terms, ERRPROP_C3D, device, vessel, k_module)) {
        cube_report(k_module, "failed allocating beam->angle LUT.\n");
        errprop_free(&ws->terms);
        free(ws);
        return nullptr;
    }
    return ws;
}

int errmod_c3d_apply(Device device, const _vessel *vessel, const _ping *ping,
                     _sounding *soundings, uint32_t count, ErrModC3D *workspace)
{
    if (workspace == nullptr || vessel == nullptr || ping == nullptr ||
        (soundings == nullptr && count > 0))
        return 0;
    ErrPropTerms *t = &workspace->terms;
    if (!errprop_start_ping(t, device, vessel, ping, soundings, count, k_module)) return 0;
    float pulse = 0.0f;
    device_get_f17(device, &pulse);
    int ok = 1;
    for (uint32_t i = 0; i < count; ++i)
        if (!apply_sounding(t, device, vessel, ping, &soundings[i], pulse)) ok = 0;
    return ok;
}

void errmod_c3d_release(ErrModC3D *workspace)
{
    if (workspace == nullptr) return;
    errprop_free(&workspace->terms);
    free(workspace);
}

void errmod_c3d_update_vessel(const _vessel *vessel, ErrModC3D *workspace)
{
    errprop_update_vessel(&workspace->terms, vessel);
}

void errmod_c3d_set_extra_sdev(double heading, double vertical, double pitch, double roll,
                               ErrModC3D *workspace)
{
    errprop_set_extra_sdev(&workspace->terms, heading, vertical, pitch, roll);
}

int errmod_c3d_set_beam_angles(uint32_t n, const double *angles, ErrModC3D *workspace)
{
    return errprop_set_beam_angles(&workspace->terms, n, angles, k_module);
}

void errmod_c3d_set_head_mounts(uint32_t split, double first, double second, ErrModC3D *workspace)
{
    errprop_set_head_mounts(&workspace->terms, split, first, second);
}

void errmod_c3d_set_head_offsets(uint32_t split, double first, double second,
                                 ErrModC3D *workspace)
{
    errprop_set_head_offsets(&workspace->terms, split, first, second);
}

void errmod_c3d_set_head_split(uint32_t split, ErrModC3D *workspace)
{
    errprop_set_head_split(&workspace->terms, split);
}

double errmod_c3d_get_beam_angle(uint32_t beam, const ErrModC3D *workspace)
{
    return errprop_get_beam_angle(&workspace->terms, beam);
}

int errmod_c3d_execute_params(const ParList *) { return 1; }
