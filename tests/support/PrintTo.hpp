// Texts in failure messages as text, not as bytes.
#pragma once

#include <QString>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}
