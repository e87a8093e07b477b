#include "cube_engine/cube_keyparse.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cube_engine/cube.h"

namespace {

const char *k_module = "params";
const double k_size_limit = 2147483647.0;

const char *skip_blanks(const char *p)
{
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

bool is_blank_or_digit(char c) { return c == ' ' || c == '\t' || (c >= '0' && c <= '9'); }

// The number at the start of the text (after blanks); rest points behind it.
// Infinities and NaNs are no measurement, so they do not count as numbers.
bool leading_number(const char *text, double *value, const char **rest)
{
    if (text == nullptr) return false;
    char *end = nullptr;
    const double v = strtod(text, &end);
    if (end == text || !std::isfinite(v)) return false;
    *value = v;
    *rest = end;
    return true;
}

bool starts_with(const char *text, const char *prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

struct Scale {
    char letter;
    double factor;
};

// Multiplier named by the letter before the last `unit` letter of the unit
// text; 0 when the letter names none (reported with `message`).
double letter_scale(const char *number_start, const char *unit, char unit_letter,
                    const Scale *scales, size_t count, const char *message)
{
    const char *last = strrchr(unit, unit_letter);
    const char before = last > number_start ? last[-1] : ' ';
    if (is_blank_or_digit(before)) return 1.0;
    for (size_t i = 0; i < count; ++i)
        if (scales[i].letter == before) return scales[i].factor;
    cube_reportf(k_module, message, before);
    return 0.0;
}

// A product that left the finite range is no value either.
double finite_or_fail(const char *text, double v)
{
    if (std::isfinite(v)) return v;
    cube_reportf(k_module, "cannot extract a number from \"%s\".\n", text);
    return DBL_MAX;
}

}  // namespace

const ParList *params_match(const ParList *list, const char *module, const ParTable *table,
                            int *key, const ParList **entry)
{
    *entry = nullptr;
    const size_t length = strlen(module);
    for (const ParList *p = list; p != nullptr; p = p->next) {
        const char *name = p->name;
        if (name == nullptr || strncmp(name, module, length) != 0) continue;
        // The module word must be followed by a dot and a key of its own: an
        // entry for a sub-list ("cube.extra.key") or a longer module word
        // belongs elsewhere.
        if (name[length] != '.' || name[length + 1] == '\0') continue;
        const char *name_key = name + length + 1;
        if (strchr(name_key, '.') != nullptr) continue;
        const ParTable *row = table;
        while (row->name != nullptr && strcmp(row->name, name_key) != 0) ++row;
        if (row->name == nullptr) {
            cube_reportf(k_module,
                         "warning: \"%s\" was not matched in the \"%s\" module parameter list.\n",
                         name, module);
            continue;
        }
        *key = row->id;
        *entry = p;
        return p->next;
    }
    return nullptr;
}

double params_get_length(const char *text)
{
    double v = 0.0;
    const char *rest = nullptr;
    if (!leading_number(text, &v, &rest)) {
        cube_reportf(k_module, "cannot extract a number from \"%s\".\n", text ? text : "");
        return DBL_MAX;
    }
    rest = skip_blanks(rest);
    if (*rest == '\0') return v;
    if (starts_with(rest, "nm")) return finite_or_fail(text, v * 1852.0);
    if (starts_with(rest, "ft")) return finite_or_fail(text, v * 0.3048);
    if (starts_with(rest, "in")) return finite_or_fail(text, v * 0.0254);
    if (strchr(rest, 'm') == nullptr) {
        cube_report(k_module, "unknown units for length conversion.\n");
        return DBL_MAX;
    }
    static const Scale scales[] = {{'c', 0.01}, {'d', 0.1},   {'h', 100.0},
                                   {'k', 1000.0}, {'m', 0.001}, {'u', 1e-6}};
    const double factor = letter_scale(text, rest, 'm', scales, sizeof scales / sizeof *scales,
                                       "error: unrecognised scale for length conversion (%c).\n");
    if (factor == 0.0) return DBL_MAX;
    return finite_or_fail(text, v * factor);
}

double params_get_duration(const char *text)
{
    double v = 0.0;
    const char *rest = nullptr;
    if (!leading_number(text, &v, &rest)) {
        cube_reportf(k_module, "cannot extract a number from \"%s\".\n", text ? text : "");
        return DBL_MAX;
    }
    rest = skip_blanks(rest);
    if (*rest == '\0') return v;
    if (starts_with(rest, "hr")) return finite_or_fail(text, v * 3600.0);
    if (starts_with(rest, "mn")) return finite_or_fail(text, v * 60.0);
    if (strchr(rest, 's') == nullptr) {
        cube_report(k_module, "unknown units for duration conversion.\n");
        return DBL_MAX;
    }
    static const Scale scales[] = {{'c', 0.01}, {'m', 0.001}, {'u', 1e-6}};
    const double factor = letter_scale(text, rest, 's', scales, sizeof scales / sizeof *scales,
                                       "error: unrecognised scale for durations (%c).\n");
    if (factor == 0.0) return DBL_MAX;
    return finite_or_fail(text, v * factor);
}

int64_t params_get_size(const char *text)
{
    double v = 0.0;
    const char *rest = nullptr;
    if (!leading_number(text, &v, &rest)) {
        cube_reportf(k_module, "cannot extract a number from \"%s\".\n", text ? text : "");
        return -1;
    }
    rest = skip_blanks(rest);
    if (*rest != '\0') {
        if (strchr(rest, 'b') == nullptr) {
            cube_report(k_module, "unknown units for duration conversion.\n");
            return -1;
        }
        static const Scale scales[] = {{'k', 1024.0},
                                       {'M', 1048576.0},
                                       {'G', 1073741824.0},
                                       {'T', 1099511627776.0}};
        const double factor = letter_scale(text, rest, 'b', scales, sizeof scales / sizeof *scales,
                                           "error: unrecognised scale for rate conversion (%c).\n");
        if (factor == 0.0) return -1;
        v *= factor;
    }
    // Checked in double before narrowing: the size goes on to size buffers.
    if (!(v >= 0.0 && v < k_size_limit)) {
        cube_reportf(k_module, "error: size is out of representable range[0, %d).\n", INT_MAX);
        return -1;
    }
    return (int64_t)v;
}

int params_get_number(const char *text, double *out)
{
    double v = 0.0;
    const char *rest = nullptr;
    if (!leading_number(text, &v, &rest) || *skip_blanks(rest) != '\0') return 0;
    *out = v;
    return 1;
}

int params_get_integer(const char *text, int lo, int hi, int *out)
{
    int v = 0;
    if (text != nullptr) {
        char *end = nullptr;
        const long long parsed = strtoll(text, &end, 10);
        if (end != text) {
            // Held to the range of int; the range check below refuses it.
            if (parsed > INT_MAX) v = INT_MAX;
            else if (parsed < INT_MIN) v = INT_MIN;
            else v = (int)parsed;
        }
    }
    *out = v;
    return v >= lo && v <= hi;
}

int params_run(const ParList *list, const char *module, const ParTable *table,
               params_apply_fn apply, void *context)
{
    int ok = 1;
    const ParList *cursor = list;
    while (cursor != nullptr) {
        int key = 0;
        const ParList *entry = nullptr;
        cursor = params_match(cursor, module, table, &key, &entry);
        if (entry != nullptr && !apply(key, entry, context)) ok = 0;
    }
    return ok;
}

int params_unknown_key(const char *module, int key)
{
    cube_reportf(module, "error: unknown return from parameter matching module (%d).\n", key);
    return 0;
}

int params_take_integer(const char *module, const char *text, int lo, int hi, const char *message,
                        uint32_t *out)
{
    int v = 0;
    if (lo < 0 || !params_get_integer(text, lo, hi, &v)) {
        cube_reportf(module, message, lo, hi, v);
        return 0;
    }
    *out = (uint32_t)v;
    return 1;
}

int params_take_number(const char *module, const char *text, double lo, double hi,
                       const char *message, double *out)
{
    double v = 0.0;
    if (!params_get_number(text, &v) || !(v >= lo && v <= hi)) {
        cube_reportf(module, message, text != nullptr ? text : "", lo, hi);
        return 0;
    }
    *out = v;
    return 1;
}

int params_take_bounded(const char *module, double value, double lo, double hi,
                        const char *message, double *out)
{
    if (value == DBL_MAX || !(value >= lo && value <= hi)) {
        cube_reportf(module, message, lo, hi, value);
        return 0;
    }
    *out = value;
    return 1;
}
