#include "core/KIVOComplexAttributeFilter.h"

#include "core/KIVOSurface.h"
#include "platform/frame/KIVOMemDescriptor.h"

namespace {
// A surface without an attribute table still gets a source, one that knows
// no attribute, so that any expression naming one fails to compile.
const KIVOMemDescriptor kNoAttributes;

const KIVODescriptor& descriptorOf(const KIVOSurface& surface) {
    const KIVOSurfaceAttributeTable* table = surface.getAttributeInfo();
    return table ? table->getDescriptor() : kNoAttributes;
}
}  // namespace

KIVOComplexAttributeFilter::KIVOComplexAttributeFilter(KIVOSurface& surface, const NORVAUString& expression)
    : m_expression(expression) {
    compile(descriptorOf(surface));
}

KIVOComplexAttributeFilter::KIVOComplexAttributeFilter(const KIVOComplexAttributeFilter& o)
    : KIVOAttributeFilter(), m_expression(o.m_expression) {
    compile(o.m_attributes->getDescriptor());
}

KIVOComplexAttributeFilter::~KIVOComplexAttributeFilter() = default;

void KIVOComplexAttributeFilter::compile(const KIVODescriptor& descriptor) {
    m_attributes = std::make_unique<NORVAExpression::KIVOAttributeInterface>(descriptor);
    m_evaluator = std::make_unique<NORVAExpression::ExpressionEvaluator>(NORVAExpression::ExpressionEvaluator::BOOLEAN);
    m_status = m_evaluator->set(m_expression, *m_attributes);
}

bool KIVOComplexAttributeFilter::passes(const KIVOAttributeSet* attributes) const {
    if (!attributes) return false;
    m_attributes->setAttributes(attributes);
    bool result = false;
    m_evaluator->evaluate(*m_attributes, result);
    m_attributes->setAttributes(nullptr);
    return result;
}

NORVAType<KIVOAttributeFilter> KIVOComplexAttributeFilter::newCopy() const {
    return NORVAType<KIVOAttributeFilter>(new KIVOComplexAttributeFilter(*this));
}
