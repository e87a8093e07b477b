#pragma once
// A seam for tests of the atomic file writer and the multi-file commit: fails
// the n-th write, flush, sync, rename or removal that any atomic file or file
// transaction makes from the moment a plan is set, so that a test can prove
// every writer leaves its old files whole and reports the failure. While no
// plan is set nothing is counted, and files are written through the plain
// stream at no cost.
namespace NORVAAtomicFileFaults {

// REMOVE counts the removals a file transaction makes (journals, planned
// deletions); single atomic files never remove a committed file.
enum Step { WRITE = 0, FLUSH, SYNC, RENAME, REMOVE, STEP_COUNT };

// Counts every step from now on and fails the n-th of the kind (the first
// is 1; 0 only counts). Replaces any earlier plan.
void failNth(Step step, unsigned n);
// Like failNth, but the process ends at once (_exit with kExitCode) at that
// step, as if killed there: for tests that fork a writer and check what a
// crash at each step leaves.
void exitAtNth(Step step, unsigned n);
constexpr int kExitCode = 77;
// Forgets the plan; the writer goes back to the plain stream.
void clear();
// Steps of the kind made since the plan was set.
unsigned count(Step step);
// Whether the planned failure happened.
bool fired();

// For the writer: whether a plan is set, and whether this step fails.
bool planned();
bool shouldFail(Step step);

}  // namespace NORVAAtomicFileFaults
