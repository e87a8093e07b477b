// Settings of the map-sheet modules ("mapsheet", "mapsheet.hcube",
// "mapsheet.median", "mapsheet.mean") and their keyword parsers. Each parser
// returns 1 when every value addressed to it was taken; a bad value is
// reported and its default stays.
#ifndef KIVO_CUBE_ENGINE_CUBE_MAPSHEET_H
#define KIVO_CUBE_ENGINE_CUBE_MAPSHEET_H

#include <cstdint>

#include "cube_engine/cube_keyparse.h"

typedef struct _mapsheet_defaults {
    uint32_t max_width;   // nodes, 1 to 20000
    uint32_t max_height;  // nodes, 1 to 20000
} MapSheetDefaults;

typedef struct _mapsheet_hcube_defaults {
    uint32_t max_memory;       // bytes
    double hypothesis_hint;    // 1.0 to 5.0
    double prob_use;           // 0.1 to 1.0
    uint32_t max_tile_dim;     // 255 to 5001 nodes
    double tile_expiry_delta;  // 10 to 3600 s
} MapSheetHCubeDefaults;

typedef struct _mapsheet_median_defaults {
    double null_depth;
    uint32_t buffer_quantum;  // never above max_buffer_pt
    uint32_t max_buffer_pt;
    uint32_t subsample_at;    // never above max_buffer_pt
} MapSheetMedianDefaults;

typedef struct _mapsheet_mean_defaults {
    double null_depth;
    double reject_sdev_limit;
    double mean_ratio_eps;
    double sdev_ratio_eps;
    uint32_t max_iterations;
    uint32_t buffer_quantum;  // never above max_buffer_pt
    uint32_t max_buffer_pt;
} MapSheetMeanDefaults;

int mapsheet_execute_params(const ParList *list);
int mapsheet_hcube_execute_params(const ParList *list);
int mapsheet_median_execute_params(const ParList *list);
int mapsheet_mean_execute_params(const ParList *list);

const MapSheetDefaults *mapsheet_defaults(void);
const MapSheetHCubeDefaults *mapsheet_hcube_defaults(void);
const MapSheetMedianDefaults *mapsheet_median_defaults(void);
const MapSheetMeanDefaults *mapsheet_mean_defaults(void);
// Back to the compiled-in defaults of all four modules.
void mapsheet_reset_params(void);

#endif
