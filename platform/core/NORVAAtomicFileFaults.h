#pragma once
// A seam for tests of the atomic file writer: fails the n-th write, flush,
// sync or rename that any atomic file makes from the moment a plan is set,
// so that a test can prove every writer leaves its old file whole and
// reports the failure. While no plan is set nothing is counted, and files
// are written through the plain stream at no cost.
namespace NORVAAtomicFileFaults {

enum Step { WRITE = 0, FLUSH, SYNC, RENAME, STEP_COUNT };

// Counts every step from now on and fails the n-th of the kind (the first
// is 1; 0 only counts). Replaces any earlier plan.
void failNth(Step step, unsigned n);
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
