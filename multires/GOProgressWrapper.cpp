#include "multires/GOProgressWrapper.h"

#include <cmath>

void GOProgressWrapper::setMessage(const NORVAUString& message) {
    if (m_outer) m_outer->setMessage(message);
}

bool GOProgressWrapper::step() { return m_outer ? m_outer->step() : true; }

bool GOProgressWrapper::setPosition(long) { return report(); }

bool GOProgressWrapper::report() {
    if (!m_outer) return true;
    double percent = std::trunc(fraction() * 100.0);
    if (!(percent >= 0.0)) percent = 0.0;  // NaN too
    if (percent > 100.0) percent = 100.0;
    m_outer->setPercent(static_cast<int>(percent));
    return !m_outer->isCancelled();
}
