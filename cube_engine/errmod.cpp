#include "cube_engine/errmod.h"

#include "cube_engine/cube.h"

namespace {
// Stored parameter blocks were derived from these exact figures, so they stay
// as they are even where a later edition of the standard differs.
const double k_iho_table[4][5] = {
    {0.2, 0.0075, 0.2, 0.0075, 2.0},
    {0.5, 0.013, 1.0, 0.0026, 5.0},
    {1.0, 0.023, 2.0, 0.05, 20.0},
    {1.0, 0.023, 5.0, 0.05, 150.0},
};
}  // namespace

int errmod_iho_limits(int order, double *a, double *b, double *third, double *fourth,
                      double *fifth)
{
    if (order < 0 || order > 3) {
        cube_reportf("errmod", "error: IHO survey order (%d) not known.\n", order);
        return 0;
    }
    const double *row = k_iho_table[order];
    if (a) *a = row[0];
    if (b) *b = row[1];
    if (third) *third = row[2];
    if (fourth) *fourth = row[3];
    if (fifth) *fifth = row[4];
    return 1;
}
