// The attribute expression parser: any text, compiled against a source of a
// few attributes and evaluated with and without values. Statuses must be the
// documented ones, and a compiled expression must evaluate.
#include <cmath>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/exprkit/ExpressionEvaluator.h"

namespace {

using NORVAExpression::ExpressionEvaluator;

class Source : public NORVAExpression::AttributeInterface {
public:
    long getVariableIndex(const NORVAUString& name) const override {
        for (long i = 0; i < kCount; ++i)
            if (name == NORVAUString(kNames[i])) return i;
        return -1;
    }
    long getVariableValue(long index, double& value) const override {
        if (index < 0 || index >= kCount || !hasValues) return 1;
        value = kValues[index];
        return 0;
    }
    bool hasValues = true;

private:
    static constexpr long kCount = 5;
    static constexpr const char* kNames[kCount] = {"Depth", "Uncertainty", "Std Dev", "Density", "x"};
    static constexpr double kValues[kCount] = {12.5, 0.3, -1.0, 7.0, 1e308};
};

bool knownStatus(long status) {
    return status == ExpressionEvaluator::EXPR_OK || status == ExpressionEvaluator::EXPR_SYNTAX_ERROR ||
           status == ExpressionEvaluator::EXPR_UNKNOWN_ATTRIBUTE ||
           status == ExpressionEvaluator::EXPR_EVALUATION_FAILED;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;  // longer texts add nothing but time
    const std::string text(reinterpret_cast<const char*>(data), size);
    Source source;
    ExpressionEvaluator evaluator;
    const long status = evaluator.set(NORVAUString(text.c_str()), source);
    FUZZ_CHECK(knownStatus(status));
    FUZZ_CHECK((status == ExpressionEvaluator::EXPR_OK) == evaluator.isCompiled());
    if (status != ExpressionEvaluator::EXPR_OK) return 0;
    fuzzsupport::noteAccepted();
    for (bool withValues : {true, false}) {
        source.hasValues = withValues;
        bool result = true;
        const long evaluated = evaluator.evaluate(source, result);
        FUZZ_CHECK(evaluated == ExpressionEvaluator::EXPR_OK || evaluated == ExpressionEvaluator::EXPR_EVALUATION_FAILED);
        FUZZ_CHECK(evaluated == ExpressionEvaluator::EXPR_OK || !result);
    }
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    const char* texts[] = {"Depth > 10",
                           "[Std Dev] < 0.5 && Depth > 10",
                           "!(Uncertainty >= 0.25) || Density == 7",
                           "Depth > 5 ? Uncertainty < 1 : Density > 2",
                           "sqrt(abs(Depth)) + sin(x) * 2 - 3 / (Density - 7) > 0",
                           "min(Depth, Uncertainty, 4) <= max(1, 2) && ((((Depth))))",
                           "[Unknown Attribute] > 1",
                           "Depth >",
                           "1e308 * x > 0"};
    int n = 0;
    for (const char* text : texts) seeds.add("expression" + std::to_string(n++), std::string(text));
}
