#pragma once
// Small helpers shared by the screening dialogs for their numeric fields.
#include <QLineEdit>
#include <cmath>
#include <cstdint>
#include <optional>

namespace vorn {

// Puts the focus back on a field whose text was refused, with the text selected.
inline void RefuseField(QLineEdit* edit) {
    edit->setFocus();
    edit->selectAll();
}

// A whole number 1..limit, or nothing.
inline std::optional<std::uint16_t> ReadCount(const QLineEdit* edit, unsigned limit = 0xFFFF) {
    bool ok = false;
    const unsigned value = edit->text().trimmed().toUInt(&ok);
    if (!ok || value == 0 || value > limit)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// A finite number, or nothing (also for an empty field).
inline std::optional<double> ReadNumber(const QLineEdit* edit) {
    bool ok = false;
    const double value = edit->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

inline QString NumberText(bool set, double value) {
    return set ? QString::asprintf("%g", value) : QString();
}

} // namespace vorn
