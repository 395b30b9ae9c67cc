#include <QFont>
#include <QFontDatabase>
#include <QString>

#include "BundledFonts.hpp"

namespace qv58163::ui {

void installBundledFonts() {
    static const bool installed = [] {
        for (const char *file : {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf",
                                 "LiberationSansNarrow-Regular.ttf", "LiberationSerif-Bold.ttf"}) {
            QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/") + QLatin1String(file));
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
