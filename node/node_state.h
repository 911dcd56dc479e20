#pragma once
// Process-wide values owned by the node connection window. The window and its progress threads
// read them; other windows only read node results through base/shared_values.h.
#include <cstdint>

constexpr int max_found_nodes = 64;
// Node numbers a scan may probe: the custom protocol addresses 0x640 + node within 11 bits, and
// found_nodes has one slot per possible node.
constexpr int first_scan_node = 1;
constexpr int last_scan_node = 64;

extern int32_t found_nodes[max_found_nodes];  // nodes that answered the last scan, in probe order
extern int32_t found_node_count;              // entries used in found_nodes
extern int32_t selected_row;                  // list row of the last connect attempt
extern int32_t progress_step_ms;              // pause between progress steps of the worker threads
extern int32_t save_status;                   // 2 while a parameter save is being confirmed

// Start-up values again, for tests that run several scenarios in one process.
void reset_node_state();
