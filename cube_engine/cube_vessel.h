// Vessel description read by the error models (sensor offsets, latencies and
// their standard deviations, optional per-beam geometry) and the "vessel"
// keyword module that fills three of them: the main one and one per
// transducer head list. Messages go out under "vessel".
#ifndef KIVO_CUBE_ENGINE_CUBE_VESSEL_H
#define KIVO_CUBE_ENGINE_CUBE_VESSEL_H

#include <cstdint>

#include "cube_engine/cube_keyparse.h"

// Lengths in m, times in s, angles in degrees, sound speeds in m/s; sd_*
// fields are standard deviations.
typedef struct _vessel {
    double timestamp;         // s since the epoch, UTC
    uint32_t device;          // device table row
    double gps_x, gps_y, gps_z;      // first head GPS antenna offsets
    double gps2_x, gps2_y, gps2_z;   // second head GPS antenna offsets
    double sd_gps_offset, sd_gps_latency, sd_gps_drms;
    double gps_latency;
    double imu_x, imu_y, imu_z;      // first head IMU offsets
    double imu2_x, imu2_y, imu2_z;   // second head IMU offsets
    double sd_imu_offset;
    double imu_roll, imu_pitch, imu_gyro;
    double sd_imu_rp_align, sd_imu_g_align, sd_imu_latency;
    double draft, sd_tx_latency, static_roll;
    double sd_roll, sd_pitch, sd_pitch_stab, sd_gyro;
    double sd_svp, sd_surf_sspeed;
    double sd_heave_fixed;
    double heave_var;                // fraction of the heave, [0, 1)
    double sd_draft, sd_ddraft, sd_loading;
    double sd_sog;
    double sd_tide_meas, sd_tide_pred;
    // Per-beam geometry, filled by the caller; the arrays stay the caller's
    // and hold per_beam_count entries indexed by beam number.
    uint32_t per_beam_mode;          // non-zero: per-beam path of the full models
    uint32_t per_beam_count;
    const uint32_t *arm_flag;
    double hz_arm_x, hz_arm_y, hz_arm_z;  // horizontal common arm
    double vt_arm_x, vt_arm_y, vt_arm_z;  // vertical common arm
    const double *draft_factor;
    const double *heave_fraction;
    const double *arm_x, *arm_y, *arm_z;
    const double *heading;           // degrees
    const double *roll_sdev;         // degrees
} _vessel;

enum { VESSEL_MAIN = 0, VESSEL_PORT = 1, VESSEL_STBD = 2 };

// Runs "vessel" ("timestamp" as year/month/day[:hour:minute:second] in UTC,
// "sonar_type"), "vessel.sdev" and the head lists "vessel.port",
// "vessel.stbd" with their ".gps" and ".imu" sub-lists. "vessel" and
// "vessel.sdev" values go into all three descriptions, a head list's values
// into its own (its offsets in the first-head fields). Returns 1 when every
// value was taken.
int vessel_execute_params(const ParList *list);

// One of the three descriptions (VESSEL_MAIN, VESSEL_PORT, VESSEL_STBD); all
// zero until keywords set them. Null for any other number.
const _vessel *vessel_description(int which);
void vessel_reset_params(void);

#endif
