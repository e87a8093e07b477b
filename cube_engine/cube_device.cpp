#include "cube_engine/cube_device.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cube_engine/cube.h"

namespace {

const char *k_module = "device";

// Constant-initialised: the table is complete before any static initialiser
// of the library could look a device up.
constexpr DeviceRecord k_table[DEVICE_TABLE_ROWS] = {
    {"unknown device", "unknown", 0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0, 0, 0, 0}, 0, 0, 0, 0, 0, 0},
    {"Simrad EM300", "em300", 605, 135, 30, 0, 75, 1, 1, {10, 10, 200, 10, 1, 100, 1}, 0, 5000, 0.15f, 5, 0, 0},
    {"Simrad EM1000", "em1000", 605, 60, 95, 0, 75, 3.3f, 3.3f, {10, 10, 200, 10, 1, 100, 1}, 60, 10000, 0.15f, 0.2f, 0, 0},
    {"Simrad EM1002", "em1002", 605, 111, 95, 0, 75, 1.5f, 2, {10, 10, 200, 10, 1, 100, 1}, 60, 11970, 0.0626f, 0.2f, 0, 0},
    {"Simrad EM3000", "em3000", 605, 128, 300, 0, 65, 1.5f, 1.5f, {10, 10, 200, 10, 1, 100, 1}, 0, 15000, 0.05f, 0.15f, 0, 0},
    {"Simrad EM3000D", "em3000d", 1629, 254, 300, 0, 65, 1.5f, 1.5f, {10, 10, 200, 10, 1, 100, 1}, 0, 15000, 0.05f, 0.15f, 0, 0},
    {"Reson SeaBat 8101", "sb8101", 541, 101, 240, 0, 75, 1.5f, 1.5f, {30, 30, 0, 30, 1, 0, 1}, 60, 10000, 0.05f, 0.15f, 0, 0},
    {"Reson SeaBat 9001", "sb9001", 29, 60, 455, 0, 45, 1.5f, 1.5f, {15, 15, 0, 15, 1, 0, 1}, 361, 10000, 0.05f, 0.07f, 0, 0},
    {"Reson SeaBat 9003", "sb9003", 29, 40, 455, 0, 60, 3, 1.5f, {15, 15, 0, 15, 1, 0, 1}, 361, 10000, 0.05f, 0.07f, 0, 0},
    {"Reson SeaBat 8125", "sb8125", 541, 240, 455, 0, 60, 0.5f, 1, {40, 40, 0, 40, 1, 0, 1}, 0, 20000, 0.006f, 0.07f, 0, 0},
    {"Reson SeaBat 8111", "sb8111", 29, 101, 100, 0, 75, 1.5f, 1.5f, {35, 35, 0, 35, 1, 0, 1}, 361, 80000, 0.037f, 0.15f, 0, 0},
    {"Atlas Hydrosweep DS", "hsweepds", 533, 59, 15.5f, 0, 45, 2.3f, 2.3f, {10, 10, 10, 0, 1, 1, 0}, 0, 5000, 0.1f, 5, 0, 0},
    {"Elac Nautik 1180", "en1180", 1557, 126, 180, 0, 77, 1.5f, 1.5f, {10, 10, 10, 0, 1, 1, 0}, 0, 24000, 0.06f, 0.15f, 0, 0},
    {"Seabeam 2112", "sb2112", 541, 151, 12, 0, 75, 2, 2, {10, 10, 10, 0, 1, 1, 0}, 0, 5000, 0.3f, 2.5f, 0, 0},
    {"Klein 595", "k595", 170, 2, 100, 500, 0, 60, 1.5f, {10, 0, 0, 10, 0, 0, 1}, 0, 10000, 0, 0, 0, 0},
    {"Klein 2000", "k2000", 170, 2, 100, 500, 0, 40, 1, {10, 0, 10, 10, 0, 1, 1}, 0, 10000, 0, 0.025f, 0, 0},
    {"Klein 3000", "k3000", 170, 2, 100, 500, 0, 40, 1, {10, 0, 10, 10, 0, 1, 1}, 0, 27900, 0, 0.025f, 0, 0},
    {"Klein 5000", "k5000", 187, 16, 455, 0, 0, 40, 1, {10, 80, 10, 80, 8, 1, 8}, 0, 28437.5f, 0, 0.025f, 0, 0},
    {nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0, 0, 0, 0}, 0, 0, 0, 0, 0, 0},
};

// Rows whose models the range, angle and pointing variances know.
constexpr uint32_t k_last_modelled_row = 14;

bool known(Device device, const char *message)
{
    if (device != nullptr && device->type < DEVICE_TABLE_ROWS) return true;
    cube_reportf(k_module, message, device != nullptr ? (int)device->type : -1);
    return false;
}

bool known(Device device) { return known(device, "internal: device type %d not known.\n"); }

char *copy_name(const char *name)
{
    if (name == nullptr) return nullptr;
    const size_t size = strlen(name) + 1;
    char *copy = (char *)malloc(size);
    if (copy != nullptr) memcpy(copy, name, size);
    return copy;
}

// Fan-shaped devices spread their beams evenly over +/- the maximum angle.
double evenly_spread(uint32_t beam, uint32_t half, uint32_t beams, double max_angle)
{
    return ((double)beam - (double)half) * 2.0 * max_angle / ((double)beams - 1.0);
}

}  // namespace

const DeviceRecord *device_table(void) { return k_table; }

Device findDevice(const char *short_name)
{
    uint32_t row = 0;
    while (short_name != nullptr && k_table[row].short_name != nullptr &&
           strcmp(k_table[row].short_name, short_name) != 0)
        ++row;
    if (short_name == nullptr || k_table[row].short_name == nullptr) {
        cube_reportf(k_module, "device \"%s\" not recognised.\n", short_name ? short_name : "");
        return nullptr;
    }
    Device device = (Device)calloc(1, sizeof(*device));
    if (device != nullptr) {
        device->type = row;
        device->record = k_table[row];
        device->record.long_name = copy_name(k_table[row].long_name);
        device->record.short_name = copy_name(k_table[row].short_name);
        if (device->record.long_name != nullptr && device->record.short_name != nullptr)
            return device;
        device_release(device);
    }
    cube_report(k_module, "failed to allocate workspace.\n");
    cube_report(k_module, "failed to allocate device space.\n");
    return nullptr;
}

void device_release(Device device)
{
    if (device == nullptr) return;
    free((void *)device->record.long_name);
    free((void *)device->record.short_name);
    free(device);
}

uint32_t device_get_type(Device device) { return known(device) ? device->type : 0; }

uint32_t device_get_capabilities(Device device)
{
    return known(device) ? device->record.capabilities : 0;
}

uint32_t device_get_beam_count(Device device) { return known(device) ? device->record.beams : 0; }

int device_get_beam_widths(Device device, float *across, float *along)
{
    if (!known(device)) return 0;
    *across = device->record.across_width;
    *along = device->record.along_width;
    return 1;
}

int device_get_f17(Device device, float *pulse_length)
{
    if (!known(device, "internal: device tyep %d not known.\n")) return 0;
    *pulse_length = device->record.pulse_length;
    return 1;
}

float device_get_f14(Device device) { return known(device) ? device->record.refraction_angle : 0.0f; }

uint32_t device_get_word(Device device) { return known(device) ? device->record.f19 : 0; }

double device_beam_angle(Device device, double sound_speed, uint32_t beam)
{
    if (!known(device)) return -1.0;
    const DeviceRecord &d = device->record;
    const uint32_t n = d.beams;
    if (beam > n) {
        cube_reportf(k_module, "device %d (%s) only has %d beams (requested angle for %d).\n",
                     (int)device->type, d.long_name ? d.long_name : "", (int)n, (int)beam);
        return -1.0;
    }
    const uint32_t half = n / 2;
    const double b = (double)beam, h = (double)half;
    switch (device->type) {
    case 0:
        return n < 4 ? 0.0 : (b - ((double)n - 1.0) / 2.0) * 2.0 * d.max_angle / ((double)n - 1.0);
    case 1: case 2: case 3: case 6: case 7: case 8: case 9: case 12: case 14:
        return evenly_spread(beam, half, n, d.max_angle);
    case 4:
        return asin(sound_speed / (d.frequency * 1000.0) * (b - h) * 3.0637) * 180.0 / M_PI;
    case 5:
        return beam >= half ? (b - h) * 0.9524 - 65.0 : b * 0.9524 - 55.0;
    case 13:
        return beam >= half ? (b - h) * 1.25 - 37.25 : (b - h + 1.0) * 1.25 + 37.25;
    default:
        return -1.0;
    }
}

double device_range_variance(Device device, const _sounding *sounding, const _ping *ping)
{
    if (!known(device)) return DBL_MAX;
    const DeviceRecord &d = device->record;
    const double r = ping->sspeed, p = sounding->depth;
    auto squared = [](double v) { return v * v; };
    switch (device->type) {
    case 0: case 7: case 8:
        return squared(d.range_resolution * 0.5) + squared(d.pulse_length * r * 0.00025);
    case 1:
        return squared(fmax(0.003 * p, 0.15));
    case 12:
        return squared(fmax(0.006 * p, 0.15));
    case 14:
        return squared(fmax(0.005 * p, 0.15));
    case 2:
        return squared(5e-5 * r) + 0.005625;
    case 3:
        return squared(5e-5 * r) + 0.00097969;
    case 4: case 5:
        return squared(8.33325e-6 * r) + 0.000625;
    case 6:
        return squared(1e-6 * r) + 0.000625;
    case 9:
        return squared(2.75e-6 * r) + 9e-6;
    case 10:
        return squared(2.5e-6 * r) + 0.00034225;
    case 11:
        return squared(fmax(0.003 * p, 0.6));
    case 13:
        return squared(3.75e-5 * r) + 0.0009;
    default:
        return DBL_MAX;
    }
}

double device_pointing_variance(Device device, const _sounding *sounding, double angle)
{
    if (!known(device) || device->type > k_last_modelled_row) return DBL_MAX;
    const uint32_t row = device->type;
    double width = CUBE_DEG2RAD * device->record.across_width;
    if (row == 4 || row == 5 || row == 9 || row == 11) width /= cos(angle);
    const bool counted = (sounding->flags & SOUNDING_COUNT_BIT) != 0;
    uint32_t samples = (sounding->flags >> SOUNDING_COUNT_SHIFT) & SOUNDING_COUNT_MASK;
    if (samples == 0) samples = 1;
    const double root = sqrt((double)samples);
    const double plain = width * 0.08333333333333333;
    switch (row) {
    case 1: {
        if (!counted) return tan(CUBE_DEG2RAD) * tan(CUBE_DEG2RAD) * 0.25;
        const double t = tan(0.008726646261111111 / root);
        return t * t;
    }
    case 2: case 3: case 4: case 5: case 6: case 9: case 10: case 11: {
        const double w = counted ? width * 0.2 / root : plain;
        return w * w;
    }
    default:
        return plain * plain;
    }
}
