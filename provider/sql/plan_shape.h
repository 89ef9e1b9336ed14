// Recognises WHERE conditions the executor can answer with a value-to-record map instead of a scan:
// `field = constant`, `constant = field`, and such terms joined by AND with any other terms.
#pragma once

#include <vector>

#include "provider/sql/expr.h"
#include "provider/sql/row_context.h"

namespace dorvane::provider::sql {

struct FieldEquality {
    int fieldIndex = -1;
    Value constant;  // as written in the condition: int64, double, Date, DateTime, bool or text
};

// The equality terms among the top-level AND terms of `where`. Every record the condition accepts has,
// for each returned term, a field value comparing equal to the constant, so the executor may look the
// records up by any one term and must still run the whole condition on them.
// Only terms whose equality is plain value equality are returned: number fields (N F B I Y) against a
// number, D/T fields against a date or datetime, L fields against .T./.F., and C/V fields against a text
// only with == (= under SET EXACT OFF is a prefix test). Null constants, unknown fields and OR never give
// terms. Field names resolve through `fields` as compileExpression() does.
std::vector<FieldEquality> findFieldEqualities(const Expr& where, const FieldCatalog& fields);

}  // namespace dorvane::provider::sql
