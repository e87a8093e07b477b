// The "errmod_c3d" error-propagation model: the full model's terms without
// per-beam vessel geometry, with a detection term in place of the range
// variance in its vertical sum. Same calling order as the full models.
#ifndef KIVO_CUBE_ENGINE_CUBE_ERRMOD_C3D_H
#define KIVO_CUBE_ENGINE_CUBE_ERRMOD_C3D_H

#include <cstdint>

#include "cube_engine/cube_errprop.h"
#include "cube_engine/cube_keyparse.h"

typedef struct _errmod_c3d {
    ErrPropTerms terms;  // Td and Tt unused; X = tan(k * across width / 2)
} ErrModC3D;

ErrModC3D *errmod_c3d_new(Device device, const _vessel *vessel);
// As errmod_full_apply, without the per-beam path.
int errmod_c3d_apply(Device device, const _vessel *vessel, const _ping *ping,
                     _sounding *soundings, uint32_t count, ErrModC3D *workspace);
void errmod_c3d_release(ErrModC3D *workspace);
void errmod_c3d_update_vessel(const _vessel *vessel, ErrModC3D *workspace);
void errmod_c3d_set_extra_sdev(double heading, double vertical, double pitch, double roll,
                               ErrModC3D *workspace);
int errmod_c3d_set_beam_angles(uint32_t n, const double *angles, ErrModC3D *workspace);
void errmod_c3d_set_head_mounts(uint32_t split, double first, double second,
                                ErrModC3D *workspace);
void errmod_c3d_set_head_offsets(uint32_t split, double first, double second,
                                 ErrModC3D *workspace);
void errmod_c3d_set_head_split(uint32_t split, ErrModC3D *workspace);
double errmod_c3d_get_beam_angle(uint32_t beam, const ErrModC3D *workspace);

int errmod_c3d_execute_params(const ParList *list);

#endif
