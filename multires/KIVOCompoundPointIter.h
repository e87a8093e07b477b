#pragma once
// Joins several sounding iterators into one: their soundings in list order;
// a member's failure ends the walk, the members after it unwalked.
// The members must share one coordinate system and one list of available
// fields; otherwise, and without members, the iterator yields nothing and
// its getters answer -1, false or null.
#include "platform/core/KIVOExport.h"
#include <list>
#include <memory>

#include "platform/frame/KIVOPointIter.h"

class KIVO_EXPORT KIVOCompoundPointIter : public KIVOPointIter {
public:
    using MemberList = std::list<std::shared_ptr<KIVOPointIter>>;

    explicit KIVOCompoundPointIter(MemberList members);

    // Once done after a member's failure, that failure, for as long as it
    // is done.
    bool done(long& status) const override;
    bool next(long& status) override;
    long getPosition(double& x, double& y) const override;
    const NORVACoordSystem* getCoordSystem() const override;
    void getAdditionalAttributes(std::vector<NORVAUString>& names) const override;
    void getAvailable(std::vector<NORVAUString>& names) const override;
    long getAsDouble(long index, double& value) const override;
    DATA_TYPE getType(long index) const override;
    long get(long index, NORVAUString& value) const override;
    long get(long index, long& value) const override;
    long get(long index, double& value) const override;
    // The sum of the members' counts (0 when the members were refused).
    long count() const override { return m_count; }
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override;
    void print(std::ostream& os) const override;

private:
    bool membersAgree() const;
    bool takeNextMember();
    // Ends the walk, with the failure of a member when one failed; false.
    bool finish(long status);

    MemberList m_members;
    std::shared_ptr<KIVOPointIter> m_current;
    long m_count = 0;
    const NORVACoordSystem* m_coordSystem = nullptr;
    long m_failure = 0;  // the member's failure that ended the walk
};
