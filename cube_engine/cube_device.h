// The sonar device table: the echo-sounders and side-scan sonars whose beam
// geometry and range accuracy the error models know, looked up by short name.
// Messages go out under "device".
#ifndef KIVO_CUBE_ENGINE_CUBE_DEVICE_H
#define KIVO_CUBE_ENGINE_CUBE_DEVICE_H

#include <cstdint>

#include "cube_engine/cube_sounding.h"

// Capability bit of devices whose beams take the surface-sound-speed
// refraction term.
#define DEVICE_SURFACE_REFRACTION 0x200u
// Rows of the table, the all-zero end marker included.
#define DEVICE_TABLE_ROWS 19u

typedef struct _device_record {
    const char *long_name;
    const char *short_name;
    uint32_t capabilities;     // f0
    uint32_t beams;            // f1
    float frequency;           // f2, kHz
    float frequency2;          // f3, kHz (dual-frequency side-scans)
    float max_angle;           // f4, degrees from nadir
    float across_width;        // f5, degrees
    float along_width;         // f6, degrees
    uint32_t counts[7];        // f7 to f13, carried
    float refraction_angle;    // f14, degrees
    float constant;            // f15, carried
    float range_resolution;    // f16, m
    float pulse_length;        // f17, ms
    uint32_t f18;              // 0 in every row
    uint32_t f19;              // 0 in every row; read as a float footprint factor
} DeviceRecord;

// A looked-up device: its row number and a copy of the row whose names are
// copies of their own. Release with device_release.
typedef struct _device {
    uint32_t type;
    DeviceRecord record;
} *Device;

// The table itself, constant from before any caller runs.
const DeviceRecord *device_table(void);

Device findDevice(const char *short_name);
void device_release(Device device);

uint32_t device_get_type(Device device);
uint32_t device_get_capabilities(Device device);
uint32_t device_get_beam_count(Device device);
int device_get_beam_widths(Device device, float *across, float *along);
int device_get_f17(Device device, float *pulse_length);
float device_get_f14(Device device);
uint32_t device_get_word(Device device);

// Angle of a beam (from 0) in degrees at the given sound speed, or -1.0.
double device_beam_angle(Device device, double sound_speed, uint32_t beam);
// Range variance (m^2) of a sounding in a ping; the largest double for rows
// without a model.
double device_range_variance(Device device, const _sounding *sounding, const _ping *ping);
// Beam-pointing variance (rad^2) of a sounding at beam angle `angle`
// (radians); the largest double for rows without a model.
double device_pointing_variance(Device device, const _sounding *sounding, double angle);

#endif
