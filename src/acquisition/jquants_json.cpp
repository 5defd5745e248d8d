#include "acquisition/jquants_json.h"

#include <charconv>
#include <limits>

#include <nlohmann/json.hpp>

namespace vorn {

const JsonField* CJsonRow::Find(std::string_view name) const {
    for (std::size_t i = 0; i < used; ++i)
        if (fields_[i].name == name)
            return &fields_[i];
    return nullptr;
}

std::string_view CJsonRow::Text(std::string_view name) const {
    const JsonField* field = Find(name);
    return field != nullptr && field->kind == JsonField::Kind::String ? field->text
                                                                      : std::string_view{};
}

namespace {

using Json = nlohmann::json;

// Depth 1 is the envelope object, 2 the data array, 3 a row, deeper a nested value in a row.
class CEnvelopeReader final : public nlohmann::json_sax<Json> {
public:
    CEnvelopeReader(const std::function<bool(const CJsonRow&)>& take, JsonEnvelope& envelope)
        : take_(take), envelope_(envelope) {}

    bool null() override { return Scalar(JsonField::Kind::Null, {}); }
    bool boolean(bool value) override {
        return Scalar(JsonField::Kind::Bool, value ? "true" : "false");
    }
    bool number_integer(number_integer_t value) override {
        return Scalar(JsonField::Kind::Number, std::to_string(value));
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Scalar(JsonField::Kind::Number, std::to_string(value));
    }
    bool number_float(number_float_t, const string_t& text) override {
        return Scalar(JsonField::Kind::Number, text);
    }
    bool string(string_t& value) override { return Scalar(JsonField::Kind::String, value); }
    bool binary(binary_t&) override { return Fail("unexpected binary value"); }

    bool start_object(std::size_t) override {
        ++depth_;
        if (depth_ == 1)
            return true;
        if (depth_ == 3 && inData_) {
            row_.used = 0;
            return true;
        }
        return Nested();
    }
    bool end_object() override {
        --depth_;
        if (depth_ == 2 && inData_) {
            ++envelope_.rows;
            if (!take_(row_))
                return Fail("a row was refused");
        }
        return true;
    }
    bool start_array(std::size_t) override {
        ++depth_;
        if (depth_ == 2 && key_ == "data") {
            inData_ = true;
            sawData_ = true;
            return true;
        }
        if (depth_ == 1)
            return Fail("the answer is an array, not an object");
        return Nested();
    }
    bool end_array() override {
        --depth_;
        if (depth_ == 1)
            inData_ = false;
        return true;
    }
    bool key(string_t& name) override {
        if (depth_ == 1) {
            key_ = name;
        } else if (depth_ == 3 && inData_) {
            if (row_.used == row_.Fields().size())
                row_.Fields().emplace_back();
            JsonField& field = row_.Fields()[row_.used++];
            field.name = name;
            field.kind = JsonField::Kind::Null;
            field.text.clear();
        }
        return true;
    }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception&) override {
        return Fail("not JSON near byte " + std::to_string(position));
    }

    bool SawData() const { return sawData_; }
    const std::string& Error() const { return error_; }

private:
    bool Scalar(JsonField::Kind kind, std::string_view text) {
        if (depth_ == 1) {
            if (key_ == "pagination_key" && kind == JsonField::Kind::String)
                envelope_.paginationKey = std::string(text);
            else if (key_ == "message" && kind == JsonField::Kind::String)
                envelope_.message = std::string(text);
            return true;
        }
        if (depth_ == 0)
            return Fail("the answer is not an object");
        if (depth_ == 3 && inData_ && row_.used > 0) {
            JsonField& field = row_.Fields()[row_.used - 1];
            field.kind = kind;
            field.text.assign(text);
            return true;
        }
        if (depth_ == 2 && inData_)
            return Fail("a data element is not an object");
        return true;
    }
    // Values nested inside a row are marked, not kept; the rows read here are flat.
    bool Nested() {
        if (depth_ == 4 && inData_ && row_.used > 0)
            row_.Fields()[row_.used - 1].kind = JsonField::Kind::Nested;
        if (depth_ == 3 && inData_)
            return Fail("a data element is not an object");
        return true;
    }
    bool Fail(std::string error) {
        if (error_.empty())
            error_ = std::move(error);
        return false;
    }

    const std::function<bool(const CJsonRow&)>& take_;
    JsonEnvelope& envelope_;
    CJsonRow row_;
    std::string key_;
    std::string error_;
    int depth_ = 0;
    bool inData_ = false;
    bool sawData_ = false;
};

// Parses "123", "123.45", "1.2e7", "-0" into digits and a power of ten.
bool SplitDecimal(std::string_view text, std::uint64_t& digits, int& exponent, bool& negative,
                  bool& overflow) {
    digits = 0;
    exponent = 0;
    negative = false;
    overflow = false;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    bool any = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            any = true;
            if (digits > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) {
                // Further digits only matter as magnitude.
                if (!point)
                    ++exponent;
                else if (c != '0')
                    overflow = true;
                continue;
            }
            digits = digits * 10 + static_cast<unsigned>(c - '0');
            if (point)
                --exponent;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i >= text.size())
            return false;
        int power = 0;
        const auto [end, ec] = std::from_chars(text.data() + i + (text[i] == '+' ? 1 : 0),
                                               text.data() + text.size(), power);
        if (ec != std::errc() || end != text.data() + text.size() || power > 400 || power < -400)
            return false;
        exponent += power;
        return true;
    }
    return i == text.size();
}

} // namespace

bool ParseEnvelope(std::string_view body, const std::function<bool(const CJsonRow&)>& take,
                   JsonEnvelope& envelope, std::string& error) {
    envelope = JsonEnvelope{};
    CEnvelopeReader reader(take, envelope);
    bool ok = false;
    try {
        ok = Json::sax_parse(body.begin(), body.end(), &reader);
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok) {
        error = reader.Error().empty() ? "not JSON" : reader.Error();
        return false;
    }
    if (!reader.SawData() && !envelope.message) {
        error = "the answer has no \"data\" array";
        return false;
    }
    return true;
}

DecimalStatus ParseScaledDecimal(const JsonField* field, unsigned decimals, std::uint64_t& value) {
    value = 0;
    if (field == nullptr || field->kind == JsonField::Kind::Null ||
        (field->kind == JsonField::Kind::String && field->text.empty()))
        return DecimalStatus::Missing;
    if (field->kind != JsonField::Kind::Number && field->kind != JsonField::Kind::String)
        return DecimalStatus::Invalid;
    std::uint64_t digits = 0;
    int exponent = 0;
    bool negative = false;
    bool overflow = false;
    if (!SplitDecimal(field->text, digits, exponent, negative, overflow))
        return DecimalStatus::Invalid;
    if (overflow)
        return DecimalStatus::TooPrecise;
    if (digits == 0)
        return DecimalStatus::Ok;
    if (negative)
        return DecimalStatus::Invalid;
    exponent += static_cast<int>(decimals);
    while (exponent < 0) {
        if (digits % 10 != 0)
            return DecimalStatus::TooPrecise;
        digits /= 10;
        ++exponent;
    }
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
    for (; exponent > 0; --exponent) {
        if (digits > kLimit / 10)
            return DecimalStatus::TooLarge;
        digits *= 10;
    }
    if (digits > kLimit)
        return DecimalStatus::TooLarge;
    value = digits;
    return DecimalStatus::Ok;
}

std::optional<double> FieldAsDouble(const JsonField* field) {
    if (field == nullptr ||
        (field->kind != JsonField::Kind::Number && field->kind != JsonField::Kind::String) ||
        field->text.empty())
        return std::nullopt;
    double value = 0;
    const char* begin = field->text.data();
    const char* end = begin + field->text.size();
    const auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

} // namespace vorn
