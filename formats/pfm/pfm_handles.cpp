#include "formats/pfm/pfm_handles.h"

namespace {
PFM_HANDLE_STATE g_states[PFM_MAX_FILES];
int32_t g_handles[PFM_MAX_FILES] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
bool g_checkpoints = true;
}  // namespace

PFM_HANDLE_STATE* pfm_state(int32_t handle) {
    if (handle < 0 || handle >= PFM_MAX_FILES || g_handles[handle] < 0) return nullptr;
    return &g_states[handle];
}

int32_t pfm_allocate_handle() {
    for (int32_t i = 0; i < PFM_MAX_FILES; ++i) {
        if (g_handles[i] >= 0) continue;
        g_states[i] = PFM_HANDLE_STATE();
        g_states[i].used = true;
        g_handles[i] = i;
        return i;
    }
    return -1;
}

void pfm_free_handle(int32_t handle) {
    if (handle < 0 || handle >= PFM_MAX_FILES) return;
    g_states[handle] = PFM_HANDLE_STATE();
    g_handles[handle] = -1;
}

int32_t pfm_handle_table(int32_t index) { return index >= 0 && index < PFM_MAX_FILES ? g_handles[index] : -1; }

void pfm_set_checkpoints(bool on) { g_checkpoints = on; }

bool pfm_checkpoints_on() { return g_checkpoints; }
