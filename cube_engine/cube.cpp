#include "cube_engine/cube.h"

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstring>

namespace {
FILE *g_error_stream = nullptr;
float g_nodata_value = 0.0f;
}  // namespace

FILE *cube_error_stream(void)
{
    if (g_error_stream == nullptr) g_error_stream = stderr;
    return g_error_stream;
}

void cube_set_error_stream(FILE *stream) { g_error_stream = stream; }

void cube_report(const char *module, const char *message)
{
    FILE *out = cube_error_stream();
    if (module != nullptr)
        fprintf(out, "%s: %s", module, message);
    else
        fputs(message, out);
}

void cube_reportf(const char *module, const char *format, ...)
{
    FILE *out = cube_error_stream();
    if (module != nullptr) fprintf(out, "%s: ", module);
    va_list args;
    va_start(args, format);
    vfprintf(out, format, args);
    va_end(args);
}

void mapsheet_get_invalid(int type, void *out)
{
    switch (type) {
    case MAPSHEET_U8: {
        uint8_t v = 255;
        memcpy(out, &v, sizeof v);
        break;
    }
    case MAPSHEET_U16: {
        uint16_t v = 65535;
        memcpy(out, &v, sizeof v);
        break;
    }
    case MAPSHEET_U32: {
        uint32_t v = 0x7FFFFFFFu;
        memcpy(out, &v, sizeof v);
        break;
    }
    case MAPSHEET_F32: {
        float v = FLT_MAX;
        memcpy(out, &v, sizeof v);
        break;
    }
    case MAPSHEET_F64: {
        double v = DBL_MAX;
        memcpy(out, &v, sizeof v);
        break;
    }
    default:
        cube_reportf("mapsheet",
                     "internal: error: unknown data type (%d) in call to mapsheet_get_invalid().\n",
                     type);
        break;
    }
}

float cube_grid_nan(void)
{
    // Set lazily: a caller may have overwritten the module value.
    if (!std::isnan(g_nodata_value)) {
        const uint32_t bits = 0x7FFFFFFFu;
        memcpy(&g_nodata_value, &bits, sizeof bits);
    }
    return g_nodata_value;
}
