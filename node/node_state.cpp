#include "node/node_state.h"

int32_t found_nodes[max_found_nodes] = {};
int32_t found_node_count = 0;
int32_t selected_row = 0;
int32_t progress_step_ms = 1;
int32_t save_status = 0;

void reset_node_state()
{
    for (int32_t &n : found_nodes)
        n = 0;
    found_node_count = 0;
    selected_row = 0;
    progress_step_ms = 1;
    save_status = 0;
}
