#include "DriverLibrary.hpp"

#include <QDir>

#include "RuntimeError.hpp"

namespace qv58163::card {

namespace {

// Export names, in the order of DriverLibrary::Export.
constexpr const char *exportNames[] = {
    "QV58163_initial",
    "QV58163_close",
    "QV58163_info",
    "QV58163_AD_config_read",
    "QV58163_AD_config_set",
    "QV58163_AD_integral_start",
    "QV58163_AD_integral_all_read",
    "QV58163_AD_integral_stop",
};

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
        throw RuntimeError(
            QStringLiteral("the driver library %1 could not be loaded from %2 or the system's "
                           "library search path (%3)")
                .arg(platformFileName(), QDir::toNativeSeparators(programDir_),
                     library_.errorString()));
    }
    loaded_ = true;
}

QFunctionPointer DriverLibrary::resolve(Export which) {
    QFunctionPointer &slot = bound_[which];
    if (slot == nullptr) {
        load();
        slot = library_.resolve(exportNames[which]);
        if (slot == nullptr) {
            // QLibrary's own error text does not name the symbol; the operator needs the name.
            throw RuntimeError(QStringLiteral("the driver library has no export %1")
                                   .arg(QLatin1String(exportNames[which])));
        }
    }
    return slot;
}

std::int32_t DriverLibrary::QV58163_initial() {
    return bound<InitialFn>(Initial)();
}

std::int32_t DriverLibrary::QV58163_close() {
    return bound<CloseFn>(Close)();
}

std::int32_t DriverLibrary::QV58163_info(std::int16_t card, std::int32_t &info) {
    return bound<InfoFn>(Info)(card, &info);
}

std::int32_t DriverLibrary::QV58163_AD_config_read(std::int16_t card, std::int16_t channel,
                                                   std::uint8_t &code) {
    return bound<ConfigReadFn>(ConfigRead)(card, channel, &code);
}

std::int32_t DriverLibrary::QV58163_AD_config_set(std::int16_t card, std::int16_t channel,
                                                  std::int16_t code) {
    return bound<ConfigSetFn>(ConfigSet)(card, channel, code);
}

std::int32_t DriverLibrary::QV58163_AD_integral_start(std::int16_t card, std::uint8_t mode) {
    return bound<StartFn>(IntegralStart)(card, mode);
}

std::int32_t DriverLibrary::QV58163_AD_integral_all_read(std::int16_t card, std::int16_t *results) {
    return bound<AllReadFn>(IntegralAllRead)(card, results);
}

std::int32_t DriverLibrary::QV58163_AD_integral_stop(std::int16_t card) {
    return bound<StopFn>(IntegralStop)(card);
}

bool DriverLibrary::closeIfReachable() noexcept {
    if (!loaded_) {
        return false;
    }
    if (bound_[Close] == nullptr) {
        bound_[Close] = library_.resolve(exportNames[Close]);
    }
    if (bound_[Close] == nullptr) {
        return false;
    }
    reinterpret_cast<CloseFn>(bound_[Close])();
    return true;
}

}  // namespace qv58163::card
