// The records in a scraper's result, read the way the page's script reads them: the group-buy
// listing's JSON-shaped text (its "list"), the news script's pairs, the group-buy sites' array
// a1, and the shopping lists' links. A record is its fields by name, in order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pelmo/variant.h"

namespace pelmo::cli {

using Record = std::vector<std::pair<std::string, std::string>>;

// The field names a method's records have; nothing for a method whose result is not a list of
// records. `method` as the catalogue spells it.
std::optional<std::vector<std::string_view>> record_fields(std::string_view method);

// The records of the method's result. A result the script could not read as a list (the
// markup changed, the text is cut) holds none.
std::vector<Record> result_records(std::string_view method, const Variant& result);

// The value of the named field of a record; empty when the record lacks it.
std::string_view field_value(const Record& record, std::string_view name);

}  // namespace pelmo::cli
