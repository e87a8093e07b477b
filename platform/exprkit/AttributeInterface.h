#pragma once
// Where an expression's variables take their values from. An evaluator asks
// for the index of each name once, when it compiles, and for the values by
// index each time it evaluates.
#include "platform/core/NORVAUString.h"

namespace NORVAExpression {

class AttributeInterface {
public:
    virtual ~AttributeInterface() = default;

    // -1 when the name is not a variable of this source.
    virtual long getVariableIndex(const NORVAUString& name) const = 0;
    // 0 and the value when the current item has one; non-zero otherwise.
    virtual long getVariableValue(long index, double& value) const = 0;
};

}  // namespace NORVAExpression
