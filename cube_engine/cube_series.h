// Settings of the modules that buffer a ping's companion data ("sounding",
// "tides", "stime", "nav", "att", "interp") and their keyword parsers. Each
// parser returns 1 when every value addressed to it was taken.
#ifndef KIVO_CUBE_ENGINE_CUBE_SERIES_H
#define KIVO_CUBE_ENGINE_CUBE_SERIES_H

#include <cstdint>

#include "cube_engine/cube_keyparse.h"

typedef struct _series_defaults {
    double default_surf_sspeed;  // "sounding": m/s, 1000 to 2000
    uint32_t tides_quantum;      // 1 to 2560 entries
    double tides_time_offset;    // s
    double tides_scale_factor;   // (0, 1]
    uint32_t stime_quantum;      // 1 to 10240 entries
    uint32_t nav_quantum;        // 1 to 10240 entries
    double nav_latency;          // s
    uint32_t att_quantum;        // 1 to 10240 entries
    uint32_t interp_quantum;     // 1 to 10240 entries
} SeriesDefaults;

int sounding_execute_params(const ParList *list);
int tides_execute_params(const ParList *list);
int stime_execute_params(const ParList *list);
int nav_execute_params(const ParList *list);
int att_execute_params(const ParList *list);
int interp_execute_params(const ParList *list);

const SeriesDefaults *series_defaults(void);
void series_reset_params(void);

#endif
