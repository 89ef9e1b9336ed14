#include "tools/sample_tables.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "provider/format/table.h"

namespace dorvane::tools {
namespace {

using provider::Currency;
using provider::Date;
using provider::DateTime;
using provider::FieldSpec;
using provider::Value;

constexpr int kCustomers = 300;
constexpr int kProducts = 200;
constexpr int kOrders = 500;

// splitmix64: the same numbers on every platform and library (std distributions are not).
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <std::size_t N>
    const char* pick(const std::array<const char*, N>& items) {
        return items[static_cast<std::size_t>(below(N))];
    }

private:
    std::uint64_t m_state;
};

FieldSpec field(const char* name, char type, int width = 0, int decimals = 0, bool nullable = false) {
    FieldSpec fieldSpec;
    fieldSpec.name = name;
    fieldSpec.type = type;
    fieldSpec.width = width;
    fieldSpec.decimals = decimals;
    fieldSpec.nullable = nullable;
    return fieldSpec;
}

FieldSpec autoId(const char* name) {
    FieldSpec fieldSpec = field(name, 'I');
    fieldSpec.autoIncrement = true;
    return fieldSpec;
}

provider::CreateOptions options() {
    provider::CreateOptions o;
    o.fixedHeaderDate = Date{provider::julianDayFromCivil(2024, 1, 15)};
    return o;
}

Date day(int year, int month, int d) {
    return Date{provider::julianDayFromCivil(year, month, d)};
}

const std::array<const char*, 16> kFirst = {"Anna",  "Bruno", "Chloé", "Dmitri", "Elena", "François",
                                            "Greta", "Hugo",  "Inès",  "Jörg",   "Karin", "Luis",
                                            "María", "Nils",  "Olga",  "Pál"};
const std::array<const char*, 16> kLast = {
    "Andersen", "Bauer",  "Castillo", "Dubois",  "Eriksson", "Fischer", "García", "Hoffmann",
    "Ivanova",  "Jensen", "Kovács",   "Lefèvre", "Müller",   "Novák",   "Olsen",  "Peña"};
const std::array<const char*, 12> kCompanyStart = {"Alpine",  "Baltic",   "Central", "Delta",
                                                   "Eastern", "Fjord",    "Golden",  "Harbour",
                                                   "Island",  "Northern", "Royal",   "Summit"};
const std::array<const char*, 8> kCompanyEnd = {"Trading", "Foods",        "Imports", "Supplies",
                                                "Markets", "Délicatesses", "& Söhne", "Handel"};
const std::array<const char*, 12> kCities = {"Berlin",  "Bruxelles", "København", "Genève",
                                             "Lisboa",  "London",    "Madrid",    "Marseille",
                                             "München", "Oslo",      "Reykjavík", "Wien"};
const std::array<const char*, 12> kCountries = {"Germany",  "Belgium", "Denmark", "Switzerland",
                                                "Portugal", "UK",      "Spain",   "France",
                                                "Germany",  "Norway",  "Iceland", "Austria"};
const std::array<const char*, 8> kCategories = {"Beverages", "Condiments", "Confections", "Dairy",
                                                "Grains",    "Meat",       "Produce",     "Seafood"};
const std::array<const char*, 16> kProductWords = {
    "Crème", "Smoked", "Organic", "Spiced", "Alpine",  "Sweet", "Dark",     "Golden",
    "Wild",  "Aged",   "Fresh",   "Nordic", "Roasted", "Café",  "Mountain", "Classic"};
const std::array<const char*, 16> kProductNouns = {
    "Cheese", "Coffee", "Chocolate", "Honey", "Salmon", "Tea",     "Mustard", "Sausage",
    "Bread",  "Jam",    "Olives",    "Pasta", "Butter", "Herring", "Syrup",   "Biscuits"};
const std::array<const char*, 6> kNotes = {"Prefers delivery in the morning.",
                                           "Pays by bank transfer; invoice in EUR.",
                                           "Key account since the trade fair.\r\nCall before visiting.",
                                           "Asked for the autumn catalogue.",
                                           "Ships to a second warehouse on request.",
                                           "Special prices agreed for 2024 — see contract."};

void writeCustomers(const std::filesystem::path& folder, Random& random) {
    auto table = provider::Table::create(
        folder / "customers.dbf",
        {autoId("CUSTID"), field("COMPANY", 'C', 40), field("CONTACT", 'C', 30), field("CITY", 'C', 20),
         field("COUNTRY", 'C', 15), field("PHONE", 'C', 18, 0, true), field("CREDIT", 'N', 10, 2),
         field("SINCE", 'D'), field("ACTIVE", 'L'), field("LASTVISIT", 'T', 0, 0, true),
         field("NOTES", 'M', 0, 0, true)},
        options());
    for (int i = 0; i < kCustomers; ++i) {
        const int city = random.below(static_cast<int>(kCities.size()));
        // One random call per statement: the order of operands and arguments is not fixed by C++.
        const std::string companyStart = random.pick(kCompanyStart);
        const std::string company = companyStart + " " + random.pick(kCompanyEnd);
        const std::string first = random.pick(kFirst);
        const std::string contact = first + " " + random.pick(kLast);
        Value phone = std::monostate{};
        if (!random.chance(15)) {
            const int country = 30 + random.below(60);
            phone = "+" + std::to_string(country) + " " + std::to_string(100000 + random.below(899999));
        }
        Value visit = std::monostate{};
        if (!random.chance(20)) {
            const int visitDay = provider::julianDayFromCivil(2023, 1, 1) + random.below(365);
            visit = DateTime{visitDay, (8 * 3600 + random.below(10 * 3600)) * 1000};
        }
        Value notes = std::monostate{};
        if (random.chance(40)) notes = std::string(random.pick(kNotes));
        const double credit = static_cast<double>(random.below(5000000)) / 100.0;
        const int sinceYear = 2005 + random.below(19);
        const int sinceMonth = 1 + random.below(12);
        const Date since = day(sinceYear, sinceMonth, 1 + random.below(28));
        const bool active = !random.chance(10);
        table->append({{1, company},
                       {2, contact},
                       {3, std::string(kCities[static_cast<std::size_t>(city)])},
                       {4, std::string(kCountries[static_cast<std::size_t>(city)])},
                       {5, phone},
                       {6, credit},
                       {7, since},
                       {8, active},
                       {9, visit},
                       {10, notes}});
        if (random.chance(3)) table->setDeleted(table->recordCount(), true);
    }
}

void writeProducts(const std::filesystem::path& folder, Random& random) {
    auto table =
        provider::Table::create(folder / "products.dbf",
                                {autoId("PRODID"), field("NAME", 'C', 40), field("CATEGORY", 'C', 15),
                                 field("PRICE", 'Y'), field("INSTOCK", 'I'), field("WEIGHT", 'N', 8, 3, true),
                                 field("DISCONT", 'L'), field("ADDED", 'D'), field("DESCRIPT", 'M')},
                                options());
    for (int i = 0; i < kProducts; ++i) {
        const std::string word = random.pick(kProductWords);
        const std::string name = word + " " + random.pick(kProductNouns) + " " + std::to_string(100 + i);
        Value weight = std::monostate{};
        if (!random.chance(10)) weight = static_cast<double>(50 + random.below(20000)) / 1000.0;
        const std::string description = "A " + name + " from our " + random.pick(kCities) + " suppliers.";
        const std::string category = random.pick(kCategories);
        const Currency price{static_cast<std::int64_t>(5000 + random.below(1500000)) * 10};
        const std::int64_t stock = random.below(1000);
        const bool discontinued = random.chance(8);
        const int addedYear = 2015 + random.below(9);
        const int addedMonth = 1 + random.below(12);
        const Date added = day(addedYear, addedMonth, 1 + random.below(28));
        table->append({{1, name},
                       {2, category},
                       {3, price},
                       {4, stock},
                       {5, weight},
                       {6, discontinued},
                       {7, added},
                       {8, description}});
    }
}

void writeOrders(const std::filesystem::path& folder, Random& random) {
    auto table = provider::Table::create(
        folder / "orders.dbf",
        {autoId("ORDERID"), field("CUSTID", 'I'), field("PRODID", 'I'), field("QUANTITY", 'I'),
         field("UNITPRICE", 'Y'), field("DISCOUNT", 'N', 5, 2, true), field("ORDERED", 'T'),
         field("SHIPPED", 'D', 0, 0, true), field("PAID", 'L'), field("COMMENT", 'M', 0, 0, true)},
        options());
    for (int i = 0; i < kOrders; ++i) {
        const int orderedDay = provider::julianDayFromCivil(2023, 1, 1) + random.below(365);
        Value discount = std::monostate{};
        if (random.chance(30)) discount = static_cast<double>(random.below(25));
        Value shipped = std::monostate{};
        if (!random.chance(12)) shipped = Date{orderedDay + 1 + random.below(14)};
        Value comment = std::monostate{};
        if (random.chance(15))
            comment = std::string(random.chance(50) ? "Gift wrap, please." : "Deliver to the back door.");
        const std::int64_t customer = 1 + random.below(kCustomers);
        const std::int64_t product = 1 + random.below(kProducts);
        const std::int64_t quantity = 1 + random.below(48);
        const Currency price{static_cast<std::int64_t>(5000 + random.below(1500000)) * 10};
        const DateTime ordered{orderedDay, (7 * 3600 + random.below(12 * 3600)) * 1000};
        const bool paid = !random.chance(20);
        table->append({{1, customer},
                       {2, product},
                       {3, quantity},
                       {4, price},
                       {5, discount},
                       {6, ordered},
                       {7, shipped},
                       {8, paid},
                       {9, comment}});
        if (random.chance(2)) table->setDeleted(table->recordCount(), true);
    }
}

}  // namespace

void writeSampleTables(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    Random random(20240115);
    writeCustomers(folder, random);
    writeProducts(folder, random);
    writeOrders(folder, random);
}

}  // namespace dorvane::tools
