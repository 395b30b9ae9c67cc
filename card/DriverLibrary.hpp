// Module QV58163: the driver library as the program sees it (`Driver`), and its binding at run
// time (`DriverLibrary`).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <initializer_list>

#include "PlatformLibrary.hpp"
#include "QV58163.h"

namespace qv58163::card {

// The exports the program calls.
enum class Export {
    Initial,
    Close,
    Info,
    ConfigRead,
    ConfigSet,
    IntegralStart,
    IntegralAllRead,
    IntegralStop,
};
inline constexpr int exportCount = static_cast<int>(Export::IntegralStop) + 1;

// An export's name in the library.
const char *exportName(Export which);

// The names a 32-bit Windows DLL built without a .def file gives a stdcall export: with a leading
// underscore (Microsoft's compiler) and without (MinGW without --kill-at), each followed by '@' and
// the bytes of arguments on the stack, 4 for each argument of QV58163.h (16-bit ones included):
// "_QV58163_info@8", "QV58163_info@8". The 32-bit program binds them where the plain name is
// missing.
std::array<QByteArray, 2> decoratedExportNames(Export which);

// One method per export the program calls, with the widths the driver's header fixes. The
// program talks to this interface only, so tests can stand a recording driver in its place.
class Driver {
public:
    virtual ~Driver() = default;

    virtual std::int32_t QV58163_initial() = 0;
    virtual std::int32_t QV58163_close() = 0;
    virtual std::int32_t QV58163_info(std::int16_t card, std::int32_t &info) = 0;
    virtual std::int32_t QV58163_AD_config_read(std::int16_t card, std::int16_t channel,
                                                std::uint8_t &code) = 0;
    virtual std::int32_t QV58163_AD_config_set(std::int16_t card, std::int16_t channel,
                                               std::int16_t code) = 0;
    virtual std::int32_t QV58163_AD_integral_start(std::int16_t card, std::uint8_t mode) = 0;
    virtual std::int32_t QV58163_AD_integral_all_read(std::int16_t card, std::int16_t *results) = 0;
    virtual std::int32_t QV58163_AD_integral_stop(std::int16_t card) = 0;

    // Binds `exports` now, so that a missing one is a run-time error before any of them is called
    // rather than at its first call. Does nothing where nothing is bound at run time.
    virtual void bindNow(std::initializer_list<Export> exports) { static_cast<void>(exports); }

    // The last act after a run-time error: calls QV58163_close if it can be reached, and never
    // fails. Returns whether the call was made.
    virtual bool closeIfReachable() noexcept = 0;

    // The file the driver was loaded from; empty before, or for a driver not bound at run time.
    virtual QString loadedFrom() const { return {}; }
};

// The real thing: the driver library, loaded on the first call that needs it, each export bound
// by name on its own first use. A program whose driver lacks one export starts and runs until
// that export is needed. A library or export that cannot be had is a run-time error naming it.
class DriverLibrary final : public Driver {
public:
    // The library is looked for in `programDir` (the directory of the program's executable)
    // first, then in the system's library search path; never in the working directory.
    explicit DriverLibrary(QString programDir);

    std::int32_t QV58163_initial() override;
    std::int32_t QV58163_close() override;
    std::int32_t QV58163_info(std::int16_t card, std::int32_t &info) override;
    std::int32_t QV58163_AD_config_read(std::int16_t card, std::int16_t channel,
                                        std::uint8_t &code) override;
    std::int32_t QV58163_AD_config_set(std::int16_t card, std::int16_t channel,
                                       std::int16_t code) override;
    std::int32_t QV58163_AD_integral_start(std::int16_t card, std::uint8_t mode) override;
    std::int32_t QV58163_AD_integral_all_read(std::int16_t card, std::int16_t *results) override;
    std::int32_t QV58163_AD_integral_stop(std::int16_t card) override;
    void bindNow(std::initializer_list<Export> exports) override;
    bool closeIfReachable() noexcept override;

    // Where the library was loaded from; empty before the first call.
    QString loadedFrom() const override { return library_.fileName(); }

    // The file name the platform gives the driver: libQV58163.so, QV58163.dll.
    static QString platformFileName();

private:
    template <typename Fn>
    Fn bound(Export which) {
        return reinterpret_cast<Fn>(resolve(which));
    }
    // The export by its plain name or, in a 32-bit Windows program, a decorated one; null if the
    // loaded library has none. `resolve` binds with it and `closeIfReachable` too, so a driver
    // that needs a decorated name is closed on every way out.
    QFunctionPointer lookUp(Export which) noexcept;
    QFunctionPointer resolve(Export which);
    void load();

    QString programDir_;
    PlatformLibrary library_;
    bool loaded_ = false;
    std::array<QFunctionPointer, exportCount> bound_{};
    QFunctionPointer &slot(Export which) { return bound_[static_cast<std::size_t>(which)]; }
};

}  // namespace qv58163::card
