// The full error-propagation models "errmod_full" and "errmod_atlas": one
// workspace layout and every operation but creation and the per-sounding
// sums shared. Calling order: create, optionally set head geometry, given
// beam angles and extra deviations, one apply per ping (refreshing the vessel
// terms between pings when its accuracies change), release.
#ifndef KIVO_CUBE_ENGINE_CUBE_ERRMOD_FULL_H
#define KIVO_CUBE_ENGINE_CUBE_ERRMOD_FULL_H

#include <cstdint>

#include "cube_engine/cube_errprop.h"
#include "cube_engine/cube_keyparse.h"

typedef struct _errmod_full {
    ErrPropTerms terms;
} ErrModFull;

// The device and vessel stay the caller's and must outlive every call that
// receives them. Null on allocation failure.
ErrModFull *errmod_full_new(Device device, const _vessel *vessel);
ErrModFull *errmod_atlas_new(Device device, const _vessel *vessel);

// Writes the vertical and horizontal variances (words 8 and 9; "errmod_atlas"
// also the footprints, words 17 and 18) of the first `count` soundings.
// Returns 0 without writing any record when the table cannot be made or
// `count` exceeds the device's beams. A sounding whose beam has no angle or
// no per-beam geometry gets the invalid float in words 8 and 9 and makes the
// result 0; the others are still written.
int errmod_full_apply(Device device, const _vessel *vessel, const _ping *ping,
                      _sounding *soundings, uint32_t count, ErrModFull *workspace);
int errmod_atlas_apply(Device device, const _vessel *vessel, const _ping *ping,
                       _sounding *soundings, uint32_t count, ErrModFull *workspace);

void errmod_full_release(ErrModFull *workspace);
void errmod_full_update_vessel(const _vessel *vessel, ErrModFull *workspace);
// Heading, vertical (m), pitch and roll standard deviations (angles in rad).
void errmod_full_set_extra_sdev(double heading, double vertical, double pitch, double roll,
                                ErrModFull *workspace);
// n beam angles (degrees, one per device beam) used instead of the device's
// model from the next table on; 0 when the copy cannot be allocated.
int errmod_full_set_beam_angles(uint32_t n, const double *angles, ErrModFull *workspace);
void errmod_full_set_head_mounts(uint32_t split, double first, double second,
                                 ErrModFull *workspace);
void errmod_full_set_head_offsets(uint32_t split, double first, double second,
                                  ErrModFull *workspace);
void errmod_full_set_head_split(uint32_t split, ErrModFull *workspace);
// Table angle (rad) of a beam, the largest double when there is none.
double errmod_full_get_beam_angle(uint32_t beam, const ErrModFull *workspace);

// "errmod_atlas" shares the operations above.
void errmod_atlas_release(ErrModFull *workspace);
void errmod_atlas_update_vessel(const _vessel *vessel, ErrModFull *workspace);
void errmod_atlas_set_extra_sdev(double heading, double vertical, double pitch, double roll,
                                 ErrModFull *workspace);
int errmod_atlas_set_beam_angles(uint32_t n, const double *angles, ErrModFull *workspace);
void errmod_atlas_set_head_mounts(uint32_t split, double first, double second,
                                  ErrModFull *workspace);
void errmod_atlas_set_head_offsets(uint32_t split, double first, double second,
                                   ErrModFull *workspace);
void errmod_atlas_set_head_split(uint32_t split, ErrModFull *workspace);
double errmod_atlas_get_beam_angle(uint32_t beam, const ErrModFull *workspace);

// The models take no keywords: any list is accepted.
int errmod_full_execute_params(const ParList *list);
int errmod_atlas_execute_params(const ParList *list);

#endif
