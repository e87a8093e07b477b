#pragma once
// Passes nodes for which an attribute expression holds. An expression that
// does not compile leaves the evaluator's code as the filter's status, so
// callers can tell the filter is unusable (the surface then ignores it).
#include "platform/core/KIVOExport.h"
#include <memory>

#include "core/KIVOAttributeInterface.h"
#include "platform/exprkit/ExpressionEvaluator.h"
#include "platform/frame/KIVOAttributeFilter.h"

class KIVOSurface;

class KIVO_EXPORT KIVOComplexAttributeFilter : public KIVOAttributeFilter {
public:
    KIVOComplexAttributeFilter(KIVOSurface& surface, const NORVAUString& expression);
    // Built on the same layout; compiles again.
    KIVOComplexAttributeFilter(const KIVOComplexAttributeFilter& o);
    KIVOComplexAttributeFilter& operator=(const KIVOComplexAttributeFilter&) = delete;
    ~KIVOComplexAttributeFilter() override;

    bool passes(const KIVOAttributeSet* attributes) const override;
    NORVAType<KIVOAttributeFilter> newCopy() const override;

    const NORVAUString& getExpression() const { return m_expression; }

private:
    void compile(const KIVODescriptor& descriptor);

    NORVAUString m_expression;
    // Evaluation caches the current node and values, though passing is
    // logically const.
    mutable std::unique_ptr<NORVAExpression::ExpressionEvaluator> m_evaluator;
    mutable std::unique_ptr<NORVAExpression::KIVOAttributeInterface> m_attributes;
};
