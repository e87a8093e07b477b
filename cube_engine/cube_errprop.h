// Terms shared by the error-propagation models ("errmod_full",
// "errmod_atlas", "errmod_c3d"): the sensor variances fixed at creation, the
// beam-angle table, the per-ping attitude terms, the caller's head geometry
// and extra deviations, and the angle, heave and lever-arm variances built
// from them. Angles are radians inside, degrees in records and setters.
#ifndef KIVO_CUBE_ENGINE_CUBE_ERRPROP_H
#define KIVO_CUBE_ENGINE_CUBE_ERRPROP_H

#include <cstdint>

#include "cube_engine/cube_device.h"
#include "cube_engine/cube_sounding.h"
#include "cube_engine/cube_vessel.h"

// Which model a set of terms belongs to: they differ in S and L at creation.
enum { ERRPROP_FULL = 0, ERRPROP_ATLAS = 1, ERRPROP_C3D = 2 };

// Surface sound speed of the table a workspace is created with (m/s).
#define ERRPROP_DEFAULT_SURF_SSPEED 1500.0
// Largest angle the profile and refraction terms take: 80 degrees.
#define ERRPROP_MAX_TERM_ANGLE 1.3962634017777777
// Cap of the angle variance: (pi/2)^2.
#define ERRPROP_MAX_ANGLE_VARIANCE 2.467401100916691

typedef struct _errprop_terms {
    double T;               // draft and tide
    double H0;              // fixed heave
    double R;               // roll (rad^2)
    double S;               // sound-speed profile
    double W;               // along-track beam width
    double P;               // pitch (rad^2)
    double A0, C0;          // refraction start angle (rad), surface sound speed
    double imu_offset;      // IMU offset variance
    double gps_offset;      // GPS offset variance
    double L;               // latency
    double G, D;            // heading (rad^2), positioning
    uint32_t table_count;   // beam-angle table: one angle (rad) per device beam
    double *table;          // missing angles hold the largest double
    double alpha;           // per ping: angle variance of the current sounding
    double heave[2];        // heave variance of each head
    double M;               // speed-and-latency variance
    double gps_arm[2];      // GPS lever-arm variance of each head
    double cr, sr, cp, sp;  // cos and sin of roll and pitch
    uint32_t use_given;     // given beam angles replace the device's model
    uint32_t given_count;   // angles in `given` (degrees)
    uint32_t given_capacity;
    double *given;
    uint32_t head_split;    // leading beams of the first head
    double mount[2];        // mounting angle of each head (degrees)
    double offset[2];       // angle offset of each head (degrees)
    double Ge, Re, Pe, Ve;  // caller's extra variances
    double Td, Tt;          // draft, tide (full and atlas)
    double X;               // across-track detection term (c3d)
} ErrPropTerms;

// Fills the creation terms of `kind` from the device and vessel and builds
// the table at the default surface sound speed and the vessel's static roll.
// Returns 0 (after "failed allocating LUT") when the table cannot be made.
int errprop_init(ErrPropTerms *terms, int kind, Device device, const _vessel *vessel,
                 const char *module);
void errprop_free(ErrPropTerms *terms);
void errprop_update_vessel(ErrPropTerms *terms, const _vessel *vessel);

// Rebuilds the table for surface sound speed `cs` and static roll `roll`
// (degrees); the head of a beam comes from its sounding record when one is
// given, else from the head split. Returns 0 when it cannot be allocated.
int errprop_build_table(ErrPropTerms *terms, Device device, double cs, double roll,
                        const _sounding *soundings, uint32_t count, const char *module);

// Attitude, heave, lever-arm and latency terms of one ping.
void errprop_ping_terms(ErrPropTerms *terms, const _vessel *vessel, const _ping *ping);

// Table angle of the sounding's beam; false when the beam has none.
bool errprop_beam_angle(const ErrPropTerms *terms, const _sounding *sounding, double *theta0);
// Angle variance of a sounding at table angle theta0 (rad^2), kept as alpha.
double errprop_angle_variance(ErrPropTerms *terms, Device device, const _vessel *vessel,
                              const _sounding *sounding, double theta0, const _ping *ping);

// Heave variance at arm (x, y, z) whose first term is `fixed`, and GPS
// lever-arm variance at arm (x, y, z) with roll variance `roll2` (rad^2).
double errprop_heave_variance(const ErrPropTerms *terms, double x, double y, double z,
                              double fixed);
double errprop_gps_arm_variance(const ErrPropTerms *terms, const _vessel *vessel, double x,
                                double y, double z, double roll2);

// Apply checks shared by the models: the ping's table and its count. Returns
// 0 (reported) when the ping must be refused before any record is written.
int errprop_start_ping(ErrPropTerms *terms, Device device, const _vessel *vessel,
                       const _ping *ping, const _sounding *soundings, uint32_t count,
                       const char *module);

// Setters and the table getter shared by every model.
void errprop_set_extra_sdev(ErrPropTerms *terms, double heading, double vertical, double pitch,
                            double roll);
int errprop_set_beam_angles(ErrPropTerms *terms, uint32_t n, const double *angles,
                            const char *module);
void errprop_set_head_mounts(ErrPropTerms *terms, uint32_t split, double first, double second);
void errprop_set_head_offsets(ErrPropTerms *terms, uint32_t split, double first, double second);
void errprop_set_head_split(ErrPropTerms *terms, uint32_t split);
double errprop_get_beam_angle(const ErrPropTerms *terms, uint32_t beam);

// Head index (0 or 1) of a sounding.
inline int errprop_head(const _sounding *sounding) { return sounding->head != 0 ? 1 : 0; }

#endif
