// Keyword parameter lists: matching entries ("module.key" = text) against a
// module's key table and converting their values (numbers, lengths,
// durations, sizes). Messages go out under "params".
#ifndef KIVO_CUBE_ENGINE_CUBE_KEYPARSE_H
#define KIVO_CUBE_ENGINE_CUBE_KEYPARSE_H

#include <cstdint>

// One entry of a keyword list: full name (module word, dot, key) and value.
typedef struct _param_list {
    const char *name;
    const char *data;
    struct _param_list *next;
} ParList;

// A module's key table: pairs of key name and key number, ended by a null name.
typedef struct _param_key {
    const char *name;
    int id;
} ParTable;

// Walks from `list` to the next entry addressed to `module` (its name is the
// module word, a dot and a key without further dots). A key missing from the
// table is reported and skipped. On a match *key and *entry are set; when the
// walk reaches the end without one, *entry is null. Returns the entry to go on
// from, null at the end of the list.
const ParList *params_match(const ParList *list, const char *module, const ParTable *table,
                            int *key, const ParList **entry);

// Metres, seconds and bytes from text such as "2km", "150 ms", "64Mb"; the
// largest double (lengths, durations) or -1 (sizes) when the text does not
// convert. Sizes are held to [0, 2147483647).
double params_get_length(const char *text);
double params_get_duration(const char *text);
int64_t params_get_size(const char *text);

// A finite decimal number making up the whole text apart from blanks; 0 when
// there is none.
int params_get_number(const char *text, double *out);
// A whole number in [lo, hi]. A text that is not a number reads as 0 and one
// out of range of any integer is held to it, so the value printed in a range
// message is the one the check refused; returns 1 when it lies in the range.
int params_get_integer(const char *text, int lo, int hi, int *out);

// Runs a parser over the entries addressed to `module`: `apply` is called with
// each matched key number and entry and returns 1 when the value was taken.
// Key numbers are the caller's; an unknown one is reported by `apply` through
// params_unknown_key. Returns 1 when every value was taken.
typedef int (*params_apply_fn)(int key, const ParList *entry, void *context);
int params_run(const ParList *list, const char *module, const ParTable *table,
               params_apply_fn apply, void *context);
int params_unknown_key(const char *module, int key);

// Range-checked takers for the module parsers: each stores the value and
// returns 1, or reports `message` under `module` and returns 0 leaving *out.
// Integer messages get (lo, hi, value); number messages get (text, lo, hi);
// bounded messages get (lo, hi, value) with the value as a double.
int params_take_integer(const char *module, const char *text, int lo, int hi, const char *message,
                        uint32_t *out);
int params_take_number(const char *module, const char *text, double lo, double hi,
                       const char *message, double *out);
int params_take_bounded(const char *module, double value, double lo, double hi,
                        const char *message, double *out);

#endif
