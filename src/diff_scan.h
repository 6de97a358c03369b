// The difference scan: which offsets do the loaded dumps not all agree on?
#ifndef DUMPDIFF_DIFF_SCAN_H
#define DUMPDIFF_DIFF_SCAN_H

// Compares every loaded dump with dump 1 at each offset 0x000 to 0x7FF and lists each offset
// where any of them differs, once, in diffs_code (below DATA_START) or diffs_data, ascending.
// Sets code_diffs_num, data_diffs_num and diffs_num. Needs loaded_dumps >= 1.
void scan_diffs();

#endif
