#pragma once
// Whether a formula entry ("label,expression,bindings,") can ever give a value, checked once
// when the configuration loads rather than found out as "Null" at every poll. The expression
// must follow the grammar whose every sentence the evaluator computes as written:
//   expression = [sign] term {("+" | "-") term}    -- a sign only before the first operand
//   term       = factor {("*" | "/") factor}
//   factor     = digits | letter | "(" expression ")"
// after the evaluator's own normalisation (blanks removed, upper case, "$PI" a number). A sign
// anywhere else ("A*-B", "(A)-(-B)") is refused: the evaluator's stack would combine it with
// the wrong operand or run dry. Every variable used needs a binding "X=oid".
// Thread: any; pure functions.

#include <string>

namespace kestrava {

// "" when the entry can be evaluated, otherwise the reason, for example
// 'the expression "A++*B" does not parse', 'the variable C is not bound' or
// 'the binding "A1.1" is not written as LETTER=OID'.
std::string FormulaEntryFault(const std::string& entry);

}  // namespace kestrava
