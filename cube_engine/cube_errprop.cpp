#include "cube_engine/cube_errprop.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cube_engine/cube.h"

namespace {

const double k = CUBE_DEG2RAD;
const double k2 = CUBE_DEG2RAD_SQ;

inline double sq(double v) { return v * v; }

// The terms the vessel refresh recomputes.
void vessel_terms(ErrPropTerms *t, const _vessel *v)
{
    t->H0 = sq(v->sd_heave_fixed);
    t->R = (sq(v->sd_roll) + sq(v->sd_imu_rp_align)) * k2;
    t->P = (sq(v->sd_pitch) + sq(v->sd_pitch_stab) + sq(v->sd_imu_rp_align)) * k2;
    t->G = (sq(v->sd_gyro) + sq(v->sd_imu_g_align)) * k2;
    t->D = sq(v->sd_gps_drms);
}

// Offset (degrees) of the head beam j belongs to.
double head_offset(const ErrPropTerms *t, uint32_t j, const _sounding *soundings, uint32_t count)
{
    // Records are read only where the caller gave one; beams past them fall
    // back to the head split.
    const bool second = (soundings != nullptr && j < count) ? soundings[j].head != 0
                                                            : j >= t->head_split;
    return second ? t->offset[1] : t->offset[0];
}

}  // namespace

int errprop_init(ErrPropTerms *t, int kind, Device device, const _vessel *v, const char *module)
{
    t->Td = sq(v->sd_draft) + sq(v->sd_ddraft) + sq(v->sd_loading);
    t->Tt = sq(v->sd_tide_meas) + sq(v->sd_tide_pred);
    t->T = t->Td + t->Tt;
    vessel_terms(t, v);
    t->S = kind == ERRPROP_ATLAS ? 0.0 : sq(v->sd_svp);
    float across = 0.0f, along = 0.0f;
    device_get_beam_widths(device, &across, &along);
    t->W = sq(1.0 - cos(k * along / 2.0));
    if (kind == ERRPROP_C3D) t->X = tan(k * across / 2.0);
    if (device_get_capabilities(device) & DEVICE_SURFACE_REFRACTION) {
        t->A0 = k * device_get_f14(device);
        t->C0 = sq(v->sd_surf_sspeed);
    }
    t->imu_offset = sq(v->sd_imu_offset);
    t->gps_offset = sq(v->sd_gps_offset);
    t->L = sq(v->sd_imu_latency) + sq(v->sd_gps_latency);
    if (kind != ERRPROP_ATLAS) t->L += sq(v->sd_tx_latency);
    return errprop_build_table(t, device, ERRPROP_DEFAULT_SURF_SSPEED, v->static_roll, nullptr, 0,
                               module);
}

void errprop_free(ErrPropTerms *t)
{
    free(t->table);
    free(t->given);
    t->table = nullptr;
    t->given = nullptr;
    t->table_count = 0;
}

void errprop_update_vessel(ErrPropTerms *t, const _vessel *v) { vessel_terms(t, v); }

int errprop_build_table(ErrPropTerms *t, Device device, double cs, double roll,
                        const _sounding *soundings, uint32_t count, const char *module)
{
    const uint32_t n = device_get_beam_count(device);
    if (t->table_count != n || (n > 0 && t->table == nullptr)) {
        free(t->table);
        t->table = nullptr;
        t->table_count = 0;
        if (n > 0) {
            t->table = (double *)malloc(sizeof(double) * n);
            if (t->table == nullptr) {
                cube_reportf(module, "failed allocating LUT (%d beams).\n", (int)n);
                return 0;
            }
        }
        t->table_count = n;
    }
    for (uint32_t j = 0; j < t->table_count; ++j) {
        double angle;
        if (t->use_given) {
            // A beam the given angles do not cover has no angle at all.
            if (j >= t->given_count) {
                t->table[j] = DBL_MAX;
                continue;
            }
            angle = t->given[j];
        } else {
            angle = device_beam_angle(device, cs, j);
        }
        t->table[j] = (angle - roll - head_offset(t, j, soundings, count)) * k;
    }
    return 1;
}

void errprop_ping_terms(ErrPropTerms *t, const _vessel *v, const _ping *ping)
{
    t->cr = cos(k * ping->roll);
    t->sr = sin(k * ping->roll);
    t->cp = cos(k * ping->pitch);
    t->sp = sin(k * ping->pitch);
    const double ro2 = sq(k * v->sd_roll);
    t->gps_arm[0] = errprop_gps_arm_variance(t, v, v->gps_x, v->gps_y, v->gps_z, ro2);
    t->gps_arm[1] = errprop_gps_arm_variance(t, v, v->gps2_x, v->gps2_y, v->gps2_z, ro2);
    const double fixed = fmax(t->H0, sq(2.0 * ping->heave * v->heave_var));
    t->heave[0] = errprop_heave_variance(t, v->imu_x, v->imu_y, v->imu_z, fixed);
    t->heave[1] = errprop_heave_variance(t, v->imu2_x, v->imu2_y, v->imu2_z, fixed);
    const double s2 = sq(ping->sog), lat2 = sq(v->gps_latency), gy2 = sq(k * v->sd_gyro);
    const double cp2 = sq(t->cp);
    t->M = (t->Pe + t->P) * s2 * lat2 * sq(t->sp) + s2 * lat2 * gy2 * cp2 + s2 * t->L * cp2 +
           lat2 * sq(v->sd_sog) * cp2;
}

double errprop_gps_arm_variance(const ErrPropTerms *t, const _vessel *v, double X, double Y,
                                double Z, double ro2)
{
    const double cr = t->cr, sr = t->sr, cp = t->cp, sp = t->sp;
    const double cr2 = cr * cr, sr2 = sr * sr, cp2 = cp * cp, sp2 = sp * sp;
    const double gy2 = sq(k * v->sd_gyro), pi2 = sq(k * v->sd_pitch);
    const double heading = ((cr2 * Z * Z + sr2 * Y * Y) * sp2 + cp2 * X * X + cr2 * Y * Y +
                            sr2 * Z * Z - cp * sp * sr * X * Y - cp * sp * cr * X * Z -
                            sr * cr * cp2 * Y * Z) *
                           gy2;
    const double roll = ((cr2 * sp2 + sr2) * Y * Y + (sr2 * sp2 + cr2) * Z * Z + sr * cr * cp2 * Y * Z) * ro2;
    const double pitch = sq((Z * cr + Y * sr) * cp + X * sp) * pi2;
    const double offset = (t->gps_offset + t->imu_offset) * ((sr2 + cr2) * sp2 + cp2 + sr2 + cr2);
    return heading + roll + pitch + offset;
}

double errprop_heave_variance(const ErrPropTerms *t, double X, double Y, double Z, double fixed)
{
    const double cr = t->cr, sr = t->sr, cp = t->cp, sp = t->sp;
    const double A = X * cp - sr * sp * Y - cr * sp * Z;
    const double B = cr * cp * Y - sr * cp * Z;
    return fixed + 2.0 * (sr * sr * cp * cp + sp * sp + sq(1.0 - cr * cp)) * t->imu_offset +
           (t->Re + t->R) * B * B + (t->Pe + t->P) * A * A;
}

bool errprop_beam_angle(const ErrPropTerms *t, const _sounding *s, double *theta0)
{
    if (s->beam_number >= t->table_count || t->table[s->beam_number] == DBL_MAX) return false;
    *theta0 = t->table[s->beam_number];
    return true;
}

double errprop_angle_variance(ErrPropTerms *t, Device device, const _vessel *v, const _sounding *s,
                              double theta0, const _ping *ping)
{
    const int h = errprop_head(s);
    const double theta = k * t->offset[h] + theta0;
    const double cs = ping->surf_sspeed, c = ping->sspeed;
    double refraction = 0.0;
    if (t->C0 > 0.0 && fabs(theta) > t->A0) {
        double phi = fabs(k * (t->mount[h] + v->static_roll) + theta) - t->A0;
        if (fabs(phi) > ERRPROP_MAX_TERM_ANGLE) phi = ERRPROP_MAX_TERM_ANGLE;
        refraction = sq(tan(phi)) * t->C0 / (cs * cs);
    }
    const double psi = fabs(theta) > ERRPROP_MAX_TERM_ANGLE ? ERRPROP_MAX_TERM_ANGLE : theta;
    const double profile = sq(tan(psi)) * t->S / (4.0 * c * c);
    double alpha = device_pointing_variance(device, s, theta) + t->R + profile + refraction;
    if (alpha > ERRPROP_MAX_ANGLE_VARIANCE) alpha = ERRPROP_MAX_ANGLE_VARIANCE;
    t->alpha = alpha;
    return alpha;
}

int errprop_start_ping(ErrPropTerms *t, Device device, const _vessel *v, const _ping *ping,
                       const _sounding *soundings, uint32_t count, const char *module)
{
    errprop_ping_terms(t, v, ping);
    if (!errprop_build_table(t, device, ping->surf_sspeed, v->static_roll, soundings, count,
                             module)) {
        cube_report(module, "failed to generate beam angles LUT.\n");
        return 0;
    }
    if (count > device_get_beam_count(device)) {
        cube_reportf(module,
                     "error: number of beams reported (%u) greater than maximum available to device "
                     "... something's wrong.\n",
                     count);
        return 0;
    }
    return 1;
}

void errprop_set_extra_sdev(ErrPropTerms *t, double heading, double vertical, double pitch,
                            double roll)
{
    t->Ge = heading * heading;
    t->Ve = vertical * vertical;
    t->Pe = pitch * pitch;
    t->Re = roll * roll;
}

int errprop_set_beam_angles(ErrPropTerms *t, uint32_t n, const double *angles, const char *module)
{
    if (angles == nullptr && n > 0) return 0;
    if (t->given_capacity < n) {
        double *copy = (double *)malloc(sizeof(double) * n);
        if (copy == nullptr) {
            cube_reportf(module, "failed allocating LUT (%d beams).\n", (int)n);
            return 0;
        }
        free(t->given);
        t->given = copy;
        t->given_capacity = n;
    }
    if (n > 0) memcpy(t->given, angles, sizeof(double) * n);
    t->given_count = n;
    t->use_given = 1;
    return 1;
}

void errprop_set_head_mounts(ErrPropTerms *t, uint32_t split, double first, double second)
{
    t->head_split = split;
    t->mount[0] = first;
    t->mount[1] = second;
}

void errprop_set_head_offsets(ErrPropTerms *t, uint32_t split, double first, double second)
{
    t->head_split = split;
    t->offset[0] = first;
    t->offset[1] = second;
}

void errprop_set_head_split(ErrPropTerms *t, uint32_t split) { t->head_split = split; }

double errprop_get_beam_angle(const ErrPropTerms *t, uint32_t beam)
{
    return beam < t->table_count ? t->table[beam] : DBL_MAX;
}
