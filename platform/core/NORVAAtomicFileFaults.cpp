#include "platform/core/NORVAAtomicFileFaults.h"

#include <unistd.h>

namespace NORVAAtomicFileFaults {

namespace {

struct Plan {
    bool active = false;
    Step step = WRITE;
    unsigned nth = 0;
    unsigned counts[STEP_COUNT] = {};
    bool fired = false;
    bool exits = false;
};

Plan& plan() {
    static Plan p;
    return p;
}

}  // namespace

void failNth(Step step, unsigned n) {
    Plan& p = plan();
    p = Plan();
    p.active = true;
    p.step = step;
    p.nth = n;
}

void exitAtNth(Step step, unsigned n) {
    failNth(step, n);
    plan().exits = true;
}

void clear() { plan() = Plan(); }

unsigned count(Step step) { return step < STEP_COUNT ? plan().counts[step] : 0; }

bool fired() { return plan().fired; }

bool planned() { return plan().active; }

bool shouldFail(Step step) {
    Plan& p = plan();
    if (!p.active || step >= STEP_COUNT) return false;
    const unsigned n = ++p.counts[step];
    if (step != p.step || n != p.nth) return false;
    if (p.exits) ::_exit(kExitCode);
    p.fired = true;
    return true;
}

}  // namespace NORVAAtomicFileFaults
