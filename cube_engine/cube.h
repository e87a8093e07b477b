// Shared conventions of the CUBE estimation engine: failure reporting,
// invalid values by data type and the no-data float of cached surfaces.
#ifndef KIVO_CUBE_ENGINE_CUBE_H
#define KIVO_CUBE_ENGINE_CUBE_H

#include <cstdint>
#include <cstdio>

#if defined(__GNUC__)
#define CUBE_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define CUBE_PRINTF(f, a)
#endif

// Data types of the invalid-value table.
enum {
    MAPSHEET_U8 = 0,
    MAPSHEET_U16 = 1,
    MAPSHEET_U32 = 2,
    MAPSHEET_F32 = 3,
    MAPSHEET_F64 = 4
};

// Invalid float: the largest finite float, marks every absent depth,
// variance or node statistic.
#define CUBE_INVALID_FLOAT 3.40282346638528859811704183484516925440e+38f
#define CUBE_INVALID_COUNT 0x7FFFFFFFu

// Writes "module: message" (or the message alone when module is null) to the
// engine error stream.
void cube_report(const char *module, const char *message);
void cube_reportf(const char *module, const char *format, ...) CUBE_PRINTF(2, 3);

// The stream reports go to; standard error unless a caller chose another.
FILE *cube_error_stream(void);
void cube_set_error_stream(FILE *stream);

// Writes the invalid value of the given data type into out (1, 2, 4, 4 or 8
// bytes); an unknown type is reported and out is left alone.
void mapsheet_get_invalid(int type, void *out);

// Quiet NaN (bit pattern 0x7FFFFFFF) marking stale cached surface values.
float cube_grid_nan(void);

#endif
