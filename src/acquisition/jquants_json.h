#pragma once
// Reading the data API's answers: an object whose "data" array holds flat rows, and an
// optional "pagination_key" (or "message" on errors). Rows are handed over one by one, so
// a page of several megabytes never becomes a tree in memory.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorn {

// One field of a row. Numbers keep the text they were written with, so that decimal prices
// are read exactly.
struct JsonField {
    enum class Kind : std::uint8_t { Null, Number, String, Bool, Nested };
    std::string name;
    Kind kind = Kind::Null;
    std::string text;
};

class CJsonRow {
public:
    // The field, or null when the row lacks it.
    const JsonField* Find(std::string_view name) const;
    // The text of a string field; empty for anything else.
    std::string_view Text(std::string_view name) const;
    std::vector<JsonField>& Fields() { return fields_; }
    const std::vector<JsonField>& Fields() const { return fields_; }
    std::size_t used = 0; // fields of this row; the rest are reused storage

private:
    std::vector<JsonField> fields_;
};

struct JsonEnvelope {
    std::optional<std::string> paginationKey;
    std::optional<std::string> message;
    std::size_t rows = 0;
};

// Parses `body`; calls `take` for every row of "data" (return false to stop with an error).
// False with `error` for text that is not such an object.
bool ParseEnvelope(std::string_view body, const std::function<bool(const CJsonRow&)>& take,
                   JsonEnvelope& envelope, std::string& error);

// A decimal number as the service writes it (a number, a numeric string such as "3600.5" or
// "2.1e7") in units of 10^-decimals. Nothing for null, "", text that is not a number, a
// negative value, more decimals than asked for, or a value past 2^63.
enum class DecimalStatus : std::uint8_t { Ok, Missing, Invalid, TooPrecise, TooLarge };
DecimalStatus ParseScaledDecimal(const JsonField* field, unsigned decimals, std::uint64_t& value);
// The field as a double (numbers and numeric strings); nothing for null, "" or other text.
std::optional<double> FieldAsDouble(const JsonField* field);

} // namespace vorn
