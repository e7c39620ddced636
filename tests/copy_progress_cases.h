// Call sequences for the copy progress routine and the bar positions each must post.
// Shared by the native unit tests and the test program built with the shipped flags.
#ifndef SPINDLEWORK_COPY_PROGRESS_CASES_H
#define SPINDLEWORK_COPY_PROGRESS_CASES_H

#include <string>
#include <vector>

struct Call {
    long long transferred, total;
};

struct ProgressCase {
    const char *name;
    std::vector<Call> calls;
    std::vector<int> positions; // posted bar positions, in order
};

// Each case starts where the last report's percentage is 0, as in a fresh process;
// a first call of (1, 1) stands for a run that has finished before.
inline const std::vector<ProgressCase> &ProgressCases()
{
    static const std::vector<ProgressCase> cases = {
        {"FirstRunAtZeroBytesReportsNothing", {{0, 100}}, {}},
        {"LaterRunAtZeroBytesReportsPercentZero", {{1, 1}, {0, 100}}, {100, 50}},
        {"StepsOfTwoPercent", {{2, 100}, {3, 100}, {4, 100}}, {51, 52}},
        {"RoundingCarryReportsAgainInTheLowerStep", {{1, 1}, {0, 1000}, {39, 1000}, {395, 10000}}, {100, 50, 52, 52}},
        {"LastStepToFullCopy", {{99, 100}, {100, 100}}, {100, 100}},
        {"EmptyFileIsNotANumberAndReportsNothing", {{0, 0}, {0, 0}}, {}},
        // 23/40 * 100 is just below 57.5 in double precision: 57, position 78.5 -> 78.
        // Then 29/50 * 50 is just below 29: step 28, the same as percent 57's.
        // Extended precision would give 58 and 79, then report 29/50 too.
        {"DoublePrecisionAtExactBoundaries", {{23, 40}, {29, 50}}, {78}},
        // Percent to position, ties to even: 1->50.5->50, 3->51.5->52, 5->52.5->52, 7->53.5->54.
        {"PercentOne", {{1, 1}, {1, 100}}, {100, 50}},
        {"PercentThree", {{1, 1}, {3, 100}}, {100, 52}},
        {"PercentFive", {{1, 1}, {5, 100}}, {100, 52}},
        {"PercentSeven", {{1, 1}, {7, 100}}, {100, 54}},
        // 25/1000 * 100 is 2.5 in double precision: percent 2, position 51 (2.5 up would give 3 and 52).
        {"PercentTieGoesToEven", {{1, 1}, {25, 1000}}, {100, 51}},
        {"FullSizeFile", {{0, 1001000000LL}, {1001000000LL, 1001000000LL}}, {100}},
    };
    return cases;
}

// One process's report lines, its standard output a file, byte for byte: the first line starts in
// column -1 (after an 11-character value 4 blanks, later lines 3). Then later runs of 2,200,000,000
// and 5,000,000,000 bytes, their first, middle and last lines: sizes and counts past 2^31 and 2^32,
// where a value narrowed to 32 bits, signed or unsigned, would print otherwise.
struct ReportCase {
    std::vector<Call> calls;
    std::string bytes;
};

inline const ReportCase &ReportLines()
{
    static const ReportCase report = {
        {{1, 1}, {0, 1001000000LL}, {500000, 1001000000LL}, {1001000000LL, 1001000000LL},
         {0, 2200000000LL}, {1100000000LL, 2200000000LL}, {2200000000LL, 2200000000LL},
         {0, 5000000000LL}, {2500000000LL, 5000000000LL}, {5000000000LL, 5000000000LL}},
        " 1             " " 1\r\n"
        " 1001000000   " " 0\r\n"
        " 1001000000   " " 1001000000\r\n"
        " 2200000000   " " 0\r\n"
        " 2200000000   " " 1100000000\r\n"
        " 2200000000   " " 2200000000\r\n"
        " 5000000000   " " 0\r\n"
        " 5000000000   " " 2500000000\r\n"
        " 5000000000   " " 5000000000\r\n"};
    return report;
}

#endif
