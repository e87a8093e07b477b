#pragma once
// Joins the node iterators of a compound surface's members into one: the
// members' nodes in member order. Exhausted member iterators are released
// at once. A member's failure ends the walk, the members after it unwalked.
// The iterator keeps the query's progress monitor alive, since the member
// iterators report to it.
#include "platform/core/KIVOExport.h"
#include <list>
#include <memory>
#include <vector>

#include "platform/core/NORVAProgress.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceIter.h"

class KIVO_EXPORT KIVOCompoundIter : public KIVOSurfaceIter {
public:
    using MemberList = std::list<NORVAType<KIVOSurfaceIter>>;

    // Without a merged descriptor one is built from the members' iterators.
    explicit KIVOCompoundIter(MemberList members, std::shared_ptr<NORVAProgress> monitor = nullptr,
                              std::shared_ptr<const KIVODescriptor> merged = nullptr);

    // Every attribute of every descriptor; the first naming it wins.
    static std::shared_ptr<const KIVODescriptor> merge(const std::vector<const KIVODescriptor*>& descriptors);

    // Once done after a member's failure, that failure, for as long as it
    // is done.
    bool done(long& status) const override;
    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override;
    const KIVOAttributeSet* getAttributes() const override;
    long getPosition(double& x, double& y, const long& attribute) const override;
    // Every node still to come, the current member's included.
    long count() const override;
    // The current member's, or the merged descriptor once none is left.
    const KIVODescriptor& getAttributeDescriptor() const override;
    long setAttributes(const KIVOAttributeSet& attributes) override;
    void print(std::ostream& os) const override;

    // Every attribute of every member; the first member naming it wins.
    const KIVODescriptor& getMergedDescriptor() const { return *m_descriptor; }

private:
    // Drops exhausted iterators until one has a node; marks done otherwise.
    bool takeNextMember();
    // Ends the walk, with the failure of a member when one failed; false.
    bool finish(long status);

    MemberList m_members;
    NORVAType<KIVOSurfaceIter> m_current;
    std::shared_ptr<const KIVODescriptor> m_descriptor;
    std::shared_ptr<NORVAProgress> m_monitor;
    long m_failure = 0;  // the member's failure that ended the walk
};
