#include "cube_engine/cube_vessel.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "cube_engine/cube.h"
#include "cube_engine/cube_device.h"

namespace {

const char *k_module = "vessel";

_vessel g_vessels[3];

enum Kind { LENGTH, LENGTH_SDEV, DURATION, DURATION_SDEV, NUMBER, SDEV, FRACTION };

// One keyword: how its text converts and which double of _vessel it fills.
// Messages take the value text and the module name.
struct Field {
    const char *name;
    Kind kind;
    size_t offset;
    const char *message;
};

#define VFIELD(key, kind, member, message) {key, kind, offsetof(_vessel, member), message}

const char *k_sdev_msg = "failed converting \"%s\" to a standard deviation.\n";
const char *k_length_sdev_msg = "failed converting \"%s\" to a length sdev.\n";
const char *k_duration_sdev_msg = "failed converting \"%s\" to a duration sdev.\n";

const Field k_sdev_fields[] = {
    VFIELD("gps_offset", LENGTH_SDEV, sd_gps_offset, k_length_sdev_msg),
    VFIELD("gps_drms", LENGTH_SDEV, sd_gps_drms, k_length_sdev_msg),
    VFIELD("gps_latency", DURATION_SDEV, sd_gps_latency, k_duration_sdev_msg),
    VFIELD("imu_offset", LENGTH_SDEV, sd_imu_offset, k_length_sdev_msg),
    VFIELD("imu_rp_align", SDEV, sd_imu_rp_align, k_sdev_msg),
    VFIELD("imu_g_align", SDEV, sd_imu_g_align, k_sdev_msg),
    VFIELD("imu_latency", DURATION_SDEV, sd_imu_latency, k_duration_sdev_msg),
    VFIELD("roll", SDEV, sd_roll, k_sdev_msg),
    VFIELD("pitch", SDEV, sd_pitch, k_sdev_msg),
    VFIELD("pitch_stab", SDEV, sd_pitch_stab, k_sdev_msg),
    VFIELD("gyro", SDEV, sd_gyro, k_sdev_msg),
    VFIELD("svp", SDEV, sd_svp, k_sdev_msg),
    VFIELD("surf_sspeed", SDEV, sd_surf_sspeed, k_sdev_msg),
    VFIELD("heave_fixed", LENGTH_SDEV, sd_heave_fixed, k_length_sdev_msg),
    VFIELD("heave_var", FRACTION, heave_var, "failed to convert \"%s\" to range[0,1).\n"),
    VFIELD("draft", LENGTH_SDEV, sd_draft, k_length_sdev_msg),
    VFIELD("ddraft", LENGTH_SDEV, sd_ddraft, k_length_sdev_msg),
    VFIELD("loading", LENGTH_SDEV, sd_loading, k_length_sdev_msg),
    VFIELD("sog", SDEV, sd_sog, k_sdev_msg),
    VFIELD("tide_meas", LENGTH_SDEV, sd_tide_meas, k_length_sdev_msg),
    VFIELD("tide_pred", LENGTH_SDEV, sd_tide_pred, k_length_sdev_msg),
};

const Field k_head_fields[] = {
    VFIELD("draft", LENGTH, draft, "failed converting \"%s\" to a valid length measurement for \"%s\".\n"),
    VFIELD("static_roll", NUMBER, static_roll,
           "failed converting \"%s\" to a valid angle measurement for \"%s\".\n"),
    VFIELD("tx_latency", DURATION_SDEV, sd_tx_latency,
           "failed converting \"%s\" to a valid duration sdev measurement for \"%s\".\n"),
};

const Field k_gps_fields[] = {
    VFIELD("x", LENGTH, gps_x, "failed converting \"%s\" to GPS x-axis offset for \"%s\".\n"),
    VFIELD("y", LENGTH, gps_y, "failed converting \"%s\" to GPS y-axis offset for \"%s\".\n"),
    VFIELD("z", LENGTH, gps_z, "failed converting \"%s\" to GPS z-axis offset for \"%s\".\n"),
    VFIELD("latency", DURATION, gps_latency, "failed converting \"%s\" to GPS latency for \"%s\".\n"),
};

const Field k_imu_fields[] = {
    VFIELD("roll", NUMBER, imu_roll, "failed converting \"%s\" to IMU roll for \"%s\".\n"),
    VFIELD("pitch", NUMBER, imu_pitch, "failed converting \"%s\" to IMU pitch for \"%s\".\n"),
    VFIELD("gyro", NUMBER, imu_gyro, "failed converting \"%s\" to IMU gyro for \"%s\".\n"),
    VFIELD("x", LENGTH, imu_x, "failed converting \"%s\" to IMU x-axis offset for \"%s\".\n"),
    VFIELD("y", LENGTH, imu_y, "failed converting \"%s\" to IMU y-axis offset for \"%s\".\n"),
    VFIELD("z", LENGTH, imu_z, "failed converting \"%s\" to IMU z-axis offset for \"%s\".\n"),
};

#undef VFIELD

// Value of a keyword, or false when it does not convert or lies outside the
// kind's range.
bool convert(Kind kind, const char *text, double *out)
{
    double v = 0.0;
    switch (kind) {
    case LENGTH:
    case LENGTH_SDEV:
        v = params_get_length(text);
        if (v == DBL_MAX) return false;
        break;
    case DURATION:
    case DURATION_SDEV:
        v = params_get_duration(text);
        if (v == DBL_MAX) return false;
        break;
    case NUMBER:
    case SDEV:
    case FRACTION:
        if (!params_get_number(text, &v)) return false;
        break;
    }
    if ((kind == LENGTH_SDEV || kind == DURATION_SDEV || kind == SDEV) && v < 0.0) return false;
    if (kind == FRACTION && !(v >= 0.0 && v < 1.0)) return false;
    *out = v;
    return true;
}

struct FieldList {
    const char *module;
    const Field *fields;
    size_t count;
    _vessel *first;  // descriptions the values go into
    size_t targets;
};

int apply_field(int key, const ParList *entry, void *context)
{
    const FieldList &list = *static_cast<const FieldList *>(context);
    if (key < 0 || (size_t)key >= list.count) return params_unknown_key(list.module, key);
    const Field &field = list.fields[key];
    const char *text = entry->data != nullptr ? entry->data : "";
    double v = 0.0;
    if (!convert(field.kind, text, &v)) {
        cube_reportf(k_module, field.message, text, list.module);
        return 0;
    }
    for (size_t i = 0; i < list.targets; ++i)
        *(double *)((char *)&list.first[i] + field.offset) = v;
    return 1;
}

int run_fields(const ParList *list, const char *module, const Field *fields, size_t count,
               _vessel *first, size_t targets)
{
    ParTable table[32];
    if (count >= sizeof table / sizeof *table) return 0;
    for (size_t i = 0; i < count; ++i) table[i] = ParTable{fields[i].name, (int)i};
    table[count] = ParTable{nullptr, 0};
    FieldList context = {module, fields, count, first, targets};
    return params_run(list, module, table, apply_field, &context);
}

bool is_leap(long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long days_from_epoch(long y, long m, long d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool elements_in_range(int y, int mo, int d, int h, int mi, int s)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 0 || y > 9999 || mo < 1 || mo > 12 || d < 1) return false;
    const int month_days = days[mo - 1] + (mo == 2 && is_leap(y) ? 1 : 0);
    return d <= month_days && h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 60;
}

int take_timestamp(const char *text)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (strchr(text, ':') != nullptr) {
        if (sscanf(text, "%d/%d/%d:%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) {
            cube_reportf(k_module, "failed converting \"%s\" to date/time.\n", text);
            return 0;
        }
    } else if (sscanf(text, "%d/%d/%d", &y, &mo, &d) != 3) {
        cube_reportf(k_module, "failed converting \"%s\" to date.\n", text);
        return 0;
    }
    if (!elements_in_range(y, mo, d, h, mi, s)) {
        cube_reportf(k_module, "elements are outwith representable range in  \"%s\".\n", text);
        return 0;
    }
    const double stamp = (double)days_from_epoch(y, mo, d) * 86400.0 + h * 3600.0 + mi * 60.0 + s;
    if (stamp < 0.0) {
        cube_reportf(k_module, "failed converting \"%s\" to a valid post epoch timestamp.\n", text);
        return 0;
    }
    for (_vessel &v : g_vessels) v.timestamp = stamp;
    return 1;
}

int take_sonar(const char *text)
{
    Device device = findDevice(text);
    if (device == nullptr) {
        cube_reportf(k_module, "error: failed to convert \"%s\" to known sonar device.\n", text);
        return 0;
    }
    const uint32_t row = device_get_type(device);
    device_release(device);
    for (_vessel &v : g_vessels) v.device = row;
    return 1;
}

int apply_vessel(int key, const ParList *entry, void *)
{
    const char *text = entry->data != nullptr ? entry->data : "";
    switch (key) {
    case 1:
        return take_timestamp(text);
    case 2:
        return take_sonar(text);
    default:
        return params_unknown_key(k_module, key);
    }
}

int run_head(const ParList *list, const char *head, _vessel *target)
{
    char module[32];
    int ok = run_fields(list, head, k_head_fields, sizeof k_head_fields / sizeof(Field), target, 1);
    snprintf(module, sizeof module, "%s.gps", head);
    ok &= run_fields(list, module, k_gps_fields, sizeof k_gps_fields / sizeof(Field), target, 1);
    snprintf(module, sizeof module, "%s.imu", head);
    ok &= run_fields(list, module, k_imu_fields, sizeof k_imu_fields / sizeof(Field), target, 1);
    return ok;
}

}  // namespace

int vessel_execute_params(const ParList *list)
{
    static const ParTable keys[] = {{"timestamp", 1}, {"sonar_type", 2}, {nullptr, 0}};
    int ok = params_run(list, k_module, keys, apply_vessel, nullptr);
    ok &= run_fields(list, "vessel.sdev", k_sdev_fields, sizeof k_sdev_fields / sizeof(Field),
                     g_vessels, 3);
    ok &= run_head(list, "vessel.port", &g_vessels[VESSEL_PORT]);
    ok &= run_head(list, "vessel.stbd", &g_vessels[VESSEL_STBD]);
    return ok;
}

const _vessel *vessel_description(int which)
{
    return which >= VESSEL_MAIN && which <= VESSEL_STBD ? &g_vessels[which] : nullptr;
}

void vessel_reset_params(void) { memset(g_vessels, 0, sizeof g_vessels); }
