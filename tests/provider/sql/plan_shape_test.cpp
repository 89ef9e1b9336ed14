// Which WHERE conditions offer field = constant lookups to the executor, and which must be scanned.
#include "provider/sql/plan_shape.h"

#include <gtest/gtest.h>

#include "memory_table.h"
#include "provider/sql/parser.h"

namespace dorvane::provider::sql {
namespace {

TEST(PlanShape, EqualityTermsAmongAndedTerms) {
    test::MemoryTable table({
        {"tempidxxx", 'I', 4, 0, Value{}},
        {"name", 'C', 10, 0, Value{}},
        {"qty", 'N', 5, 0, Value{}},
        {"born", 'D', 8, 0, Value{}},
        {"paid", 'L', 1, 0, Value{}},
        {"notes", 'M', 4, 0, Value{}},
    });
    const struct {
        const char* where;
        const char* terms;
    } cases[] = {
        {"tempidxxx=12", "0=12"},
        {"12 = tempidxxx", "0=12"},
        {"t.tempidxxx = 12", "0=12"},
        {"other.tempidxxx = 12", ""},
        {"tempidxxx = -3.5", "0=-3.5"},
        {"tempidxxx == 4", "0=4"},
        {"tempidxxx = 12 AND name = 'x'", "0=12"},  // = on text is a prefix test
        {"name == 'x' AND qty = 2", "1='x' 2=2"},
        {"tempidxxx = 12 AND (qty = 3 AND paid = .T.)", "0=12 2=3 4=.T."},
        {"born = {^2024-01-31} .AND. qty > 1", "3={^2024-01-31}"},
        {"tempidxxx = 12 OR qty = 3", ""},
        {"(tempidxxx = 12 OR qty = 3) AND paid = .F.", "4=.F."},
        {"NOT tempidxxx = 12", ""},
        {"tempidxxx > 12", ""},
        {"tempidxxx <> 12", ""},
        {"tempidxxx = 'x'", ""},
        {"tempidxxx = NULL", ""},
        {"tempidxxx = qty", ""},
        {"tempidxxx = 1 + 1", ""},
        {"notes == 'x'", ""},
        {"nosuch = 1", ""},
        {"paid", ""},
    };
    for (const auto& c : cases) {
        std::string got;
        for (const FieldEquality& t : findFieldEqualities(*parseExpression(c.where), table))
            got += (got.empty() ? "" : " ") + std::to_string(t.fieldIndex) + "=" + describeValue(t.constant);
        EXPECT_EQ(got, c.terms) << c.where;
    }
}

}  // namespace
}  // namespace dorvane::provider::sql
