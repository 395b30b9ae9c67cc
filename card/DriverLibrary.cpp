#include "DriverLibrary.hpp"

#include <QDir>
#include <QFileInfo>
#include <array>

#include "RuntimeError.hpp"
#include "WordSize.hpp"

namespace qv58163::card {

namespace {

struct ExportName {
    Export which;
    const char *name;
    int stackBytes;  // what a stdcall call takes off the stack: 4 for each argument
};

// Each export beside its name; the check below keeps the table in the enum's order and complete.
constexpr std::array<ExportName, exportCount> exportNames{{
    {Export::Initial, "QV58163_initial", 0},
    {Export::Close, "QV58163_close", 0},
    {Export::Info, "QV58163_info", 8},
    {Export::ConfigRead, "QV58163_AD_config_read", 12},
    {Export::ConfigSet, "QV58163_AD_config_set", 12},
    {Export::IntegralStart, "QV58163_AD_integral_start", 8},
    {Export::IntegralAllRead, "QV58163_AD_integral_all_read", 8},
    {Export::IntegralStop, "QV58163_AD_integral_stop", 4},
}};

constexpr bool inEnumOrder() {
    for (std::size_t k = 0; k < exportNames.size(); ++k) {
        if (static_cast<std::size_t>(exportNames[k].which) != k) {
            return false;
        }
    }
    return true;
}
static_assert(inEnumOrder(), "exportNames lists every Export once, in the enum's order");

// The function types come from the driver's header, calling convention included.
using InitialFn = decltype(&::QV58163_initial);
using CloseFn = decltype(&::QV58163_close);
using InfoFn = decltype(&::QV58163_info);
using ConfigReadFn = decltype(&::QV58163_AD_config_read);
using ConfigSetFn = decltype(&::QV58163_AD_config_set);
using StartFn = decltype(&::QV58163_AD_integral_start);
using AllReadFn = decltype(&::QV58163_AD_integral_all_read);
using StopFn = decltype(&::QV58163_AD_integral_stop);

}  // namespace

const char *exportName(Export which) {
    return exportNames[static_cast<std::size_t>(which)].name;
}

std::array<QByteArray, 2> decoratedExportNames(Export which) {
    const ExportName &entry = exportNames[static_cast<std::size_t>(which)];
    const QByteArray suffix = '@' + QByteArray::number(entry.stackBytes);
    return {'_' + QByteArray(entry.name) + suffix, QByteArray(entry.name) + suffix};
}

DriverLibrary::DriverLibrary(QString programDir) : programDir_(std::move(programDir)) {}

QString DriverLibrary::platformFileName() {
#if defined(_WIN32)
    return QStringLiteral("QV58163.dll");
#elif defined(__APPLE__)
    return QStringLiteral("libQV58163.dylib");
#else
    return QStringLiteral("libQV58163.so");
#endif
}

void DriverLibrary::load() {
    if (loaded_) {
        return;
    }
    if (!library_.open(programDir_, platformFileName())) {
        // A driver of the other word size is a likely reason, and the loader says it least
        // plainly: say it when the first such file where the loader looks is one.
        QStringList places = {programDir_};
        places << PlatformLibrary::systemFolders();
        for (const QString &place : places) {
            const QString file = QDir(place).filePath(platformFileName());
            if (place.isEmpty() || !QFileInfo::exists(file)) {
                continue;
            }
            const QString mismatch = wordSizeMismatch(file);
            if (!mismatch.isEmpty()) {
                throw NoDriverLibrary(
                    QStringLiteral("the driver library %1 could not be loaded: %2")
                        .arg(platformFileName(), mismatch));
            }
            break;
        }
        throw NoDriverLibrary(
            QStringLiteral("the driver library %1 could not be loaded from %2 or the system's "
                           "library search path (%3)")
                .arg(platformFileName(), QDir::toNativeSeparators(programDir_),
                     library_.errorString()));
    }
    loaded_ = true;
}

QFunctionPointer DriverLibrary::lookUp(Export which) noexcept {
    QFunctionPointer found = library_.resolve(exportName(which));
#if defined(_WIN32) && !defined(_WIN64)
    // A 32-bit DLL built without a .def file exports its stdcall functions decorated.
    for (const QByteArray &decorated : decoratedExportNames(which)) {
        if (found == nullptr) {
            found = library_.resolve(decorated.constData());
        }
    }
#endif
    return found;
}

QFunctionPointer DriverLibrary::resolve(Export which) {
    QFunctionPointer &bound = slot(which);
    if (bound == nullptr) {
        load();
        bound = lookUp(which);
        if (bound == nullptr) {
            // QLibrary's own error text does not name the symbol; the operator needs the name.
            throw RuntimeError(QStringLiteral("the driver library has no export %1")
                                   .arg(QLatin1String(exportName(which))));
        }
    }
    return bound;
}

void DriverLibrary::bindNow(std::initializer_list<Export> exports) {
    for (const Export which : exports) {
        resolve(which);
    }
}

std::int32_t DriverLibrary::QV58163_initial() {
    return bound<InitialFn>(Export::Initial)();
}

std::int32_t DriverLibrary::QV58163_close() {
    return bound<CloseFn>(Export::Close)();
}

std::int32_t DriverLibrary::QV58163_info(std::int16_t card, std::int32_t &info) {
    return bound<InfoFn>(Export::Info)(card, &info);
}

std::int32_t DriverLibrary::QV58163_AD_config_read(std::int16_t card, std::int16_t channel,
                                                   std::uint8_t &code) {
    return bound<ConfigReadFn>(Export::ConfigRead)(card, channel, &code);
}

std::int32_t DriverLibrary::QV58163_AD_config_set(std::int16_t card, std::int16_t channel,
                                                  std::int16_t code) {
    return bound<ConfigSetFn>(Export::ConfigSet)(card, channel, code);
}

std::int32_t DriverLibrary::QV58163_AD_integral_start(std::int16_t card, std::uint8_t mode) {
    return bound<StartFn>(Export::IntegralStart)(card, mode);
}

std::int32_t DriverLibrary::QV58163_AD_integral_all_read(std::int16_t card, std::int16_t *results) {
    return bound<AllReadFn>(Export::IntegralAllRead)(card, results);
}

std::int32_t DriverLibrary::QV58163_AD_integral_stop(std::int16_t card) {
    return bound<StopFn>(Export::IntegralStop)(card);
}

bool DriverLibrary::closeIfReachable() noexcept {
    if (!loaded_) {
        return false;
    }
    QFunctionPointer &close = slot(Export::Close);
    if (close == nullptr) {
        close = lookUp(Export::Close);
    }
    if (close == nullptr) {
        return false;
    }
    reinterpret_cast<CloseFn>(close)();
    return true;
}

}  // namespace qv58163::card
