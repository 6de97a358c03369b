// The report as plain formatted printing makes it, one row at a time: the yardstick the tool's own
// writer is checked against, by the command-line tests and by the fuzzer.
#ifndef DUMPDIFF_TESTS_REFERENCE_REPORT_H
#define DUMPDIFF_TESTS_REFERENCE_REPORT_H

#include <cstdio>
#include <string>
#include <vector>

inline void reference_append(std::string &s, const char *format, unsigned a, unsigned b = 0) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, format, a, b);
    s.append(buf, static_cast<std::size_t>(n));
}

// The report for `count` dumps of 2048 bytes held back to back at `dumps`, listing the given CODE
// and DATA offsets in the given order.
inline std::string reference_report(const unsigned char *dumps, int count,
                                    const std::vector<int> &code, const std::vector<int> &data) {
    std::string s;
    const auto blocks = [&](const std::vector<int> &offsets) {
        for (int o : offsets) {
            reference_append(s, "%03X:\nDUMP HEX BINARY \n", static_cast<unsigned>(o));
            for (int d = 1; d <= count; d++) {
                const unsigned b = dumps[static_cast<std::size_t>((d - 1) * 2048 + o)];
                reference_append(s, " %02u  %02X ", static_cast<unsigned>(d), b);
                for (int k = 7; k >= 0; k--)
                    s += ((b >> k) & 1) != 0 ? '1' : '0';
                s += '\n';
            }
            s += '\n';
        }
    };
    reference_append(s, "CODE Diffs: %u\n\n", static_cast<unsigned>(code.size()));
    blocks(code);
    reference_append(s, "DATA Diffs: %u\n\n", static_cast<unsigned>(data.size()));
    blocks(data);
    reference_append(s, "TOTAL Diffs: %u\n", static_cast<unsigned>(code.size() + data.size()));
    return s;
}

#endif
