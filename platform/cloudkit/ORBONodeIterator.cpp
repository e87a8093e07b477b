#include "platform/cloudkit/ORBONodeIterator.h"

namespace ORBO_3_12_0_ {
namespace DataSet {

NodeIterator::~NodeIterator() = default;

const Cloud::CloudValue* NodeIterator::getValue(unsigned bandId) const {
    const std::vector<unsigned>& ids = getBandIDs();
    for (size_t i = 0; i < ids.size() && i < m_values.size(); ++i)
        if (ids[i] == bandId) return &m_values[i];
    return nullptr;
}

bool StateCheckNodeIterator::passesStateCheck() const {
    const States states = getStates();
    for (const StateCheck& check : m_checks)
        if ((states & check.mask) != check.required) return false;
    return true;
}

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
