#pragma once
// The process-wide error state: the text and code of the last failure.
#include <cstdint>

// Formats the text into the message buffer and records the code; returns it.
int32_t pfm_set_error(int32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));
const char* pfm_last_error_text();
int32_t pfm_last_error_code();
// Empties the text (a fresh open starts without a stale message).
void pfm_clear_error();
