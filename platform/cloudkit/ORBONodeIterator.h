#pragma once
// Walks the nodes of a point cloud: per node a position, the values of the
// bands the caller asked for (in the caller's order) and 24 state bits.
// StateCheckNodeIterator adds checks on the state bits that a node must pass
// to be served.
#include "platform/core/KIVOExport.h"
#include <bitset>
#include <vector>

#include "platform/cloudkit/ORBOBandType.h"
#include "platform/cloudkit/ORBOCloudValue.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/orbolink/ORBODataSet.h"

namespace ORBO_3_12_0_ {
namespace DataSet {

class KIVO_EXPORT NodeIterator {
public:
    static constexpr unsigned kNumStates = 24;
    using States = std::bitset<kNumStates>;

    NodeIterator() = default;
    NodeIterator(const NodeIterator&) = delete;
    NodeIterator& operator=(const NodeIterator&) = delete;
    virtual ~NodeIterator();

    virtual bool done() const { return m_done; }
    virtual bool next() = 0;
    virtual long init() = 0;
    virtual unsigned getNumStates() const { return kNumStates; }
    virtual bool hasStates() const { return true; }
    virtual bool getState(unsigned i) const = 0;
    virtual States getStates() const = 0;
    virtual void setState(bool value, unsigned i) = 0;
    virtual void setState(bool value, const States& which) = 0;
    virtual bool isDuplicate() const { return false; }
    virtual long getPosition(NORVAPoint3D& position, unsigned dimensions) const = 0;
    virtual long getPosition(NORVAPoint2D& position, unsigned dimensions) const = 0;
    virtual long setPosition(const NORVAPoint3D& position, unsigned dimensions) = 0;
    virtual Cloud::BandType getBandType(unsigned bandId) const = 0;
    virtual const std::vector<unsigned>& getBandIDs() const = 0;
    virtual const GeoBandSet* getBandSet() const = 0;

    // The current node's value of a requested band; null for a band not requested.
    const Cloud::CloudValue* getValue(unsigned bandId) const;

protected:
    void setDone(bool done) { m_done = done; }
    // One holder per requested band, in the order of getBandIDs.
    std::vector<Cloud::CloudValue> m_values;

private:
    bool m_done = false;
};

class KIVO_EXPORT StateCheckNodeIterator : public NodeIterator {
public:
    // A node passes when its states under `mask` equal `required`.
    struct StateCheck {
        States mask;
        States required;
    };

    virtual void addCheck(const StateCheck& check) { m_checks.push_back(check); }

protected:
    // True when the states the iterator reports now pass every check.
    bool passesStateCheck() const;

private:
    std::vector<StateCheck> m_checks;
};

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
