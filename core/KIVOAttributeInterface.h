#pragma once
// Lets an expression read the attributes of one node: variables are the
// descriptor's attribute names, values those of the node being tested.
#include <memory>

#include "platform/core/KIVOExport.h"
#include "platform/exprkit/AttributeInterface.h"
#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODescriptor.h"

namespace NORVAExpression {

class KIVO_EXPORT KIVOAttributeInterface : public AttributeInterface {
public:
    // The descriptor is copied, so the source does not depend on the surface
    // staying open.
    explicit KIVOAttributeInterface(const KIVODescriptor& descriptor);

    long getVariableIndex(const NORVAUString& name) const override;
    long getVariableValue(long index, double& value) const override;

    // The node being tested; it must stay alive while an evaluation runs.
    void setAttributes(const KIVOAttributeSet* attributes) { m_attributes = attributes; }
    const KIVOAttributeSet* getAttributes() const { return m_attributes; }
    const KIVODescriptor& getDescriptor() const { return *m_descriptor; }

private:
    std::unique_ptr<KIVODescriptor> m_descriptor;
    const KIVOAttributeSet* m_attributes = nullptr;
};

}  // namespace NORVAExpression
