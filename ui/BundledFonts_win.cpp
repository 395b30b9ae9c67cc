#include <QFont>
#include <QFontDatabase>
#include <QString>
#include <QStringList>

#include "BundledFonts.hpp"

namespace qv58163::ui {

void installBundledFonts() {
    static const bool installed = [] {
        // The files ui/CMakeLists.txt builds in.
        for (const QString &file : QStringLiteral(QV58163_BUNDLED_FONTS).split(QLatin1Char(','))) {
            QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/") + file);
        }
        // Substitutes are looked at only when a face itself is missing.
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
        QFont::insertSubstitution(QStringLiteral("Times New Roman"),
                                  QStringLiteral("Liberation Serif"));
        return true;
    }();
    (void)installed;
}

}  // namespace qv58163::ui
