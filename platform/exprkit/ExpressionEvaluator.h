#pragma once
// Compiles an attribute expression once and evaluates it per item. Variables
// are attribute names: a plain identifier (letters, digits, '_', not starting
// with a digit) or any name in square brackets, e.g. "[Std Dev] < 0.5 &&
// Depth > 10". Comparisons, "&&", "||", "!", "?:" and the usual arithmetic
// and functions are available. A variable without a value is NaN, and a NaN
// result is false. Nothing here throws: failures are status codes.
#include <memory>

#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAUString.h"
#include "platform/exprkit/AttributeInterface.h"

namespace NORVAExpression {

class KIVO_EXPORT ExpressionEvaluator : public NORVAObject {
public:
    enum EvaluationType : long {
        BOOLEAN = 0,  // a non-zero result is true
    };

    enum Status : long {
        EXPR_OK = 0,
        EXPR_NOT_COMPILED = -1,       // evaluate before a successful set
        EXPR_SYNTAX_ERROR = -2,       // the text is not an expression
        EXPR_UNKNOWN_ATTRIBUTE = -3,  // a variable the source does not know
        EXPR_EVALUATION_FAILED = -4,
        EXPR_BAD_TYPE = -5,           // an evaluation type not supported
    };

    explicit ExpressionEvaluator(long evaluationType = BOOLEAN);
    ~ExpressionEvaluator() override;
    ExpressionEvaluator(const ExpressionEvaluator&) = delete;
    ExpressionEvaluator& operator=(const ExpressionEvaluator&) = delete;

    // Compiles the expression, binding its variables through the source.
    // On failure the evaluator is left uncompiled.
    long set(const NORVAUString& expression, const AttributeInterface& attributes);
    // Evaluates with the source's current values; `result` is false unless
    // the evaluation succeeded and gave a true value.
    long evaluate(const AttributeInterface& attributes, bool& result);

    bool isCompiled() const;
    // Why the last set or evaluate failed; empty after success.
    const NORVAUString& getMessage() const { return m_message; }

private:
    struct Compiled;

    long fail(long status, const NORVAUString& message);

    long m_type;
    std::unique_ptr<Compiled> m_compiled;
    NORVAUString m_message;
};

}  // namespace NORVAExpression
