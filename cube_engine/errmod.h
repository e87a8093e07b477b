// IHO survey-order error limits.
#ifndef KIVO_CUBE_ENGINE_ERRMOD_H
#define KIVO_CUBE_ENGINE_ERRMOD_H

// Row lookup of the IHO table for order 0 to 3: a (fixed vertical term, m),
// b (depth-dependent term) and three further columns returned as stored.
// Returns 1, or 0 with the outputs untouched for an unknown order.
int errmod_iho_limits(int order, double *a, double *b, double *third, double *fourth,
                      double *fifth);

#endif
