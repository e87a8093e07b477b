// The IHO-order error model: vertical and horizontal variances of each
// sounding from the IHO order limits, its "errmod.iho" keywords, and the
// engine's error-model keyword parser. Messages go out under "errmod_iho".
#ifndef KIVO_CUBE_ENGINE_CUBE_ERRMOD_IHO_H
#define KIVO_CUBE_ENGINE_CUBE_ERRMOD_IHO_H

#include <cstdint>

#include "cube_engine/cube_device.h"
#include "cube_engine/cube_keyparse.h"
#include "cube_engine/cube_sounding.h"
#include "cube_engine/cube_vessel.h"

typedef struct _errmod_iho {
    uint32_t order;  // 0 to 3
    float a2;        // fixed vertical term squared (m^2)
    float b2;        // depth-dependent vertical term squared
    float h2;        // horizontal standard deviation squared (m^2)
} ErrModIHO;

// Workspace from the current "errmod.iho" settings (order 0 of the IHO table
// until keywords choose another); free with errmod_iho_release.
ErrModIHO *errmod_iho_new(void);
void errmod_iho_release(ErrModIHO *workspace);
// Writes words 8 and 9 of the first `count` soundings; the device, vessel and
// ping are not needed by this model and may be null. Returns 1 (0 without
// a workspace or records).
int errmod_iho_apply(Device device, const _vessel *vessel, const _ping *ping,
                     _sounding *soundings, uint32_t count, const ErrModIHO *workspace);

// "errmod.iho": "order" (1 to 4), then "vert_fixed", "vert_var" and
// "horizontal" replacing the order's a, b and horizontal limit.
int errmod_iho_execute_params(const ParList *list);
// Runs the three full models' parsers (which take no keywords) and the
// "errmod.iho" parser; 1 only when all of them return 1.
int errmod_execute_params(const ParList *list);
void errmod_iho_reset_params(void);

// Narrows a variance to the stored float: one that is not finite as a
// float is stored as the invalid float.
float errmod_store_variance(double variance);

#endif
