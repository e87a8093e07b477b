#include "platform/exprkit/ExpressionEvaluator.h"

#include <muParser.h>

#include <cmath>
#include <deque>
#include <limits>
#include <string>
#include <vector>

namespace NORVAExpression {

namespace {

const double kNoValue = std::numeric_limits<double>::quiet_NaN();
// Bracketed names are handed to the parser under aliases it accepts; the
// leading underscores keep them apart from the names users write plainly.
const std::string kAliasPrefix = "__kivo_attr";

double logicalNot(double v) { return std::isnan(v) ? kNoValue : (v == 0.0 ? 1.0 : 0.0); }

}  // namespace

struct ExpressionEvaluator::Compiled {
    mu::Parser parser;
    std::vector<std::string> bracketNames;  // alias k stands for bracketNames[k]
    std::deque<double> slots;               // stable addresses for the parser
    std::vector<std::string> slotNames;
    std::vector<long> slotIndices;          // attribute index per slot

    static double* createVariable(const char* name, void* self) {
        auto* c = static_cast<Compiled*>(self);
        c->slots.push_back(kNoValue);
        c->slotNames.emplace_back(name);
        return &c->slots.back();
    }

    // The attribute a parser variable stands for.
    std::string attributeName(const std::string& variable) const {
        if (variable.compare(0, kAliasPrefix.size(), kAliasPrefix) != 0) return variable;
        size_t k = std::stoul(variable.substr(kAliasPrefix.size()));
        return k < bracketNames.size() ? bracketNames[k] : variable;
    }
};

namespace {

// Replaces every "[name]" by an alias; false on an empty or unclosed name.
bool replaceBracketNames(const std::string& text, std::string& out, std::vector<std::string>& names) {
    out.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('[', pos);
        if (open == std::string::npos) {
            out.append(text, pos, std::string::npos);
            break;
        }
        size_t close = text.find(']', open + 1);
        if (close == std::string::npos || close == open + 1) return false;
        out.append(text, pos, open - pos);
        out += kAliasPrefix + std::to_string(names.size());
        names.push_back(text.substr(open + 1, close - open - 1));
        pos = close + 1;
    }
    return true;
}

}  // namespace

ExpressionEvaluator::ExpressionEvaluator(long evaluationType) : m_type(evaluationType) {
    if (m_type != BOOLEAN) m_status = EXPR_BAD_TYPE;
}

ExpressionEvaluator::~ExpressionEvaluator() = default;

bool ExpressionEvaluator::isCompiled() const { return static_cast<bool>(m_compiled); }

long ExpressionEvaluator::fail(long status, const NORVAUString& message) {
    m_compiled.reset();
    m_message = message;
    return status;
}

long ExpressionEvaluator::set(const NORVAUString& expression, const AttributeInterface& attributes) {
    m_compiled.reset();
    m_message = NORVAUString();
    if (m_type != BOOLEAN) return fail(EXPR_BAD_TYPE, "unsupported evaluation type");
    try {
        auto compiled = std::make_unique<Compiled>();
        std::string text;
        if (!replaceBracketNames(expression.toUTF8(), text, compiled->bracketNames))
            return fail(EXPR_SYNTAX_ERROR, "empty or unclosed [attribute name]");
        if (text.find_first_not_of(" \t\r\n") == std::string::npos) return fail(EXPR_SYNTAX_ERROR, "empty expression");
        mu::Parser& p = compiled->parser;
        p.DefineInfixOprt("!", logicalNot);
        p.SetVarFactory(&Compiled::createVariable, compiled.get());
        p.SetExpr(text);
        // Parsing happens on the first evaluation; it also creates the variables.
        p.Eval();
        if (p.GetNumResults() != 1) return fail(EXPR_SYNTAX_ERROR, "more than one expression");
        for (const std::string& variable : compiled->slotNames) {
            std::string name = compiled->attributeName(variable);
            long index = attributes.getVariableIndex(NORVAUString::fromUTF8(name));
            if (index < 0) return fail(EXPR_UNKNOWN_ATTRIBUTE, "unknown attribute: " + NORVAUString(name));
            compiled->slotIndices.push_back(index);
        }
        m_compiled = std::move(compiled);
        return EXPR_OK;
    } catch (const mu::Parser::exception_type& e) {
        return fail(EXPR_SYNTAX_ERROR, NORVAUString(e.GetMsg()));
    } catch (...) {
        return fail(EXPR_SYNTAX_ERROR, "expression could not be compiled");
    }
}

long ExpressionEvaluator::evaluate(const AttributeInterface& attributes, bool& result) {
    result = false;
    if (!m_compiled) return EXPR_NOT_COMPILED;
    Compiled& c = *m_compiled;
    for (size_t i = 0; i < c.slotIndices.size(); ++i) {
        double v = 0.0;
        c.slots[i] = attributes.getVariableValue(c.slotIndices[i], v) == 0 ? v : kNoValue;
    }
    try {
        double r = c.parser.Eval();
        result = !std::isnan(r) && r != 0.0;
        m_message = NORVAUString();
        return EXPR_OK;
    } catch (const mu::Parser::exception_type& e) {
        m_message = NORVAUString(e.GetMsg());
    } catch (...) {
        m_message = "expression could not be evaluated";
    }
    return EXPR_EVALUATION_FAILED;
}

}  // namespace NORVAExpression
