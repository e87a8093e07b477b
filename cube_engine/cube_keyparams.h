// Keyword parsers of the estimator's own settings: "cube", whose values become
// the defaults of later parameter blocks, and "mapsheet.nodal", which takes
// the first thirteen of the same keys into defaults of its own.
#ifndef KIVO_CUBE_ENGINE_CUBE_KEYPARAMS_H
#define KIVO_CUBE_ENGINE_CUBE_KEYPARAMS_H

#include "cube_engine/cube_keyparse.h"
#include "cube_engine/cube_param.h"

// Each returns 1 when every value addressed to the module was taken; a bad
// value is reported and its default stays.
int cube_execute_params(const ParList *list);
int mapsheet_nodal_execute_params(const ParList *list);

// Defaults of the nodal estimator, the compiled ones until keywords set them.
const _cube_param *mapsheet_nodal_default_param(void);
void mapsheet_nodal_reset_params(void);

#endif
