// A fixed table whose every access is checked against its bounds: an index outside it is the
// program's run-time error, named after the table, never a read or write past its end.
#pragma once

#include <array>
#include <cstddef>

#include "RuntimeError.hpp"

namespace qv58163::card {

template <typename T, std::size_t N>
class CheckedTable {
public:
    // `name` says what the table is in an error report, e.g. "the result buffer".
    explicit CheckedTable(const char *name) : name_(name) {}

    T &operator()(int index) { return table_[checked(index)]; }
    const T &operator()(int index) const { return table_[checked(index)]; }

    // The first slot, for a driver call that fills the table in place.
    T *data() { return table_.data(); }
    static constexpr int size() { return static_cast<int>(N); }

private:
    std::size_t checked(int index) const {
        if (index < 0 || index >= size()) {
            throw RuntimeError(QStringLiteral("index %1 is outside %2 (0 to %3)")
                                   .arg(index)
                                   .arg(QLatin1String(name_))
                                   .arg(size() - 1));
        }
        return static_cast<std::size_t>(index);
    }

    const char *name_;
    std::array<T, N> table_{};
};

}  // namespace qv58163::card
