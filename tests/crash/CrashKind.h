#pragma once
// One kind of surface operation for the crash test (CrashHarness.cpp): a
// child process repeats the operation in a loop and is killed with SIGKILL at
// a pseudo-random moment; the parent then opens the surface and checks that
// it holds one whole generation, old or new, and that nothing is left over.
//
// A kind is one small file: derive from CrashKind and register it with
// KIVO_CRASH_KIND(ClassName); the harness picks it up by its name(). Kinds
// that store in place also serve the two-process checks
// (TwoProcessCheck.cpp) through update().
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class CrashKind {
public:
    virtual ~CrashKind() = default;
    // "gridded", "wgrid-rename": the name scripts/crash-test.sh takes.
    virtual const char* name() const = 0;
    // Makes generation 0 in an empty folder.
    virtual bool create(const std::string& folder) = 0;
    // Makes generation + 1 from `generation` (a store or a rename); the
    // child calls it for generation, generation + 1, ... until it is killed.
    virtual bool advance(const std::string& folder, long generation) = 0;
    // A write by a new object over the surface create() made: a store made
    // afresh or, for a kind that renames, generation 0 opened and renamed to
    // 1. Its status, 0 when done.
    virtual long rewrite(const std::string& folder) { return create(folder) ? 0 : -1; }
    // Opens the surface as a user would (which recovers what a crash left)
    // and returns the generation it holds whole, or -1 with the reason.
    virtual long check(const std::string& folder, std::string& why) = 0;
    // Opens the surface as it stands, checks that it holds one generation g
    // (as check() does, except for what an in-place store cannot change, like
    // the attribute set) and stores g + 1 in place: g + 1 once stored,
    // kRefused when a read or the store was refused because another process
    // changed the surface since it was opened, else -1 with the reason.
    virtual long update(const std::string& folder, std::string& why) {
        (void)folder;
        why = kUnsupported;
        return -1;
    }

    static constexpr long kRefused = -2;
    // What check() and update() say for such a refusal (not a mixed read),
    // and what update() says for a kind that does not store in place.
    static constexpr const char* kChanged = "changed by another process since opened";
    static constexpr const char* kUnsupported = "no in-place store";
};

namespace crashtest {

std::vector<std::unique_ptr<CrashKind>>& kinds();

// The kind's name as a test name ("cube-store" -> "cube_store").
std::string kindTestName(size_t index);

// Temporaries and journals anywhere under the folder; their names go to `names`.
unsigned leftovers(const std::string& folder, std::string* names = nullptr);

template <class Kind>
struct Registration {
    Registration() { kinds().push_back(std::make_unique<Kind>()); }
};

}  // namespace crashtest

#define KIVO_CRASH_KIND(Kind) static const crashtest::Registration<Kind> kRegistered##Kind

// Runs the parameterised suite once per registered kind, named after it.
#define KIVO_INSTANTIATE_OVER_KINDS(Suite)                                                    \
    INSTANTIATE_TEST_SUITE_P(Kinds, Suite, ::testing::Range<size_t>(0, crashtest::kinds().size()), \
                             [](const ::testing::TestParamInfo<size_t>& info) {               \
                                 return crashtest::kindTestName(info.param);                  \
                             })
