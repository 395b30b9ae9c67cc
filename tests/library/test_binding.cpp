// Binding the driver at run time: where the library is looked for, each export bound on its own
// first use, and a missing library or export reported by name. CTest runs each case in a process
// of its own: a library once loaded answers to its name for the rest of the process, so whether
// the system has a driver of its own is asked before anything is loaded.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "DriverLibrary.hpp"
#include "RuntimeError.hpp"
#include "WordSize.hpp"

namespace {

const QString driversDir = QStringLiteral(QV58163_TEST_DRIVERS_DIR);
QString driverDir(const char *name) {
    return driversDir + QLatin1Char('/') + QLatin1String(name);
}

// Runs `call` and returns the run-time error's message, or an empty text when none was raised.
template <typename Call>
QString errorOf(Call call) {
    try {
        call();
    } catch (const qv58163::card::RuntimeError &error) {
        return error.message();
    }
    return {};
}

// Changes the working directory for the length of a test.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const QString &dir) : previous_(QDir::currentPath()) {
        QDir::setCurrent(dir);
    }
    ~WorkingDirectory() { QDir::setCurrent(previous_); }

private:
    QString previous_;
};

bool systemHasADriver() {
    void *handle = dlopen("libQV58163.so", RTLD_NOW);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

TEST(Binding, LoadsTheDriverBesideTheProgramAndCallsThroughIt) {
    qv58163::card::DriverLibrary driver(driverDir("beside"));
    EXPECT_TRUE(driver.loadedFrom().isEmpty()) << "nothing is loaded before the first call";
    EXPECT_EQ(driver.QV58163_initial(), 11);
    EXPECT_EQ(driver.loadedFrom(), driverDir("beside") + QStringLiteral("/libQV58163.so"));

    std::int32_t info = 5;
    EXPECT_EQ(driver.QV58163_info(1, info), 0);
    EXPECT_EQ(info, 6) << "the information word is passed by address, in and out";
    EXPECT_NE(driver.QV58163_info(2, info), 0);

    std::uint8_t code = 200;
    driver.QV58163_AD_config_read(1, 3, code);
    EXPECT_EQ(code, 3);

    std::int16_t results[QV58163_RESULT_SLOTS] = {};
    EXPECT_EQ(driver.QV58163_AD_integral_all_read(1, results), 0);
    EXPECT_EQ(results[0], 100);
    EXPECT_EQ(results[7], 800);
    EXPECT_EQ(results[8], 0);
}

TEST(Binding, AMissingExportFailsOnlyWhenItIsFirstNeededAndIsNamed) {
    qv58163::card::DriverLibrary driver(driverDir("no_stop"));
    EXPECT_EQ(driver.QV58163_initial(), 0);
    EXPECT_EQ(driver.QV58163_AD_integral_start(1, 1), 0);
    std::int16_t results[QV58163_RESULT_SLOTS] = {};
    EXPECT_EQ(driver.QV58163_AD_integral_all_read(1, results), 0);

    EXPECT_EQ(errorOf([&] { driver.QV58163_AD_integral_stop(1); }),
              QStringLiteral("the driver library has no export QV58163_AD_integral_stop"));
    // Asked again, the same answer; the exports that exist go on working.
    EXPECT_FALSE(errorOf([&] { driver.QV58163_AD_integral_stop(1); }).isEmpty());
    EXPECT_TRUE(driver.closeIfReachable());
    EXPECT_EQ(driver.QV58163_close(), 0);
}

TEST(Binding, AMissingLibraryIsARunTimeErrorAtTheFirstCallNamingTheLibrary) {
    if (systemHasADriver()) {
        GTEST_SKIP() << "a driver is installed on this system's library path";
    }
    qv58163::card::DriverLibrary driver(driverDir("empty"));
    const QString error = errorOf([&] { driver.QV58163_initial(); });
    EXPECT_TRUE(
        error.startsWith(QStringLiteral("the driver library libQV58163.so could not be loaded")))
        << error.toStdString();
    EXPECT_TRUE(error.contains(driverDir("empty"))) << error.toStdString();
    EXPECT_FALSE(driver.closeIfReachable()) << "a library never loaded cannot be closed";
}

TEST(Binding, ADriverOfTheOtherWordSizeIsNamedAsSuch) {
    if (systemHasADriver()) {
        GTEST_SKIP() << "a driver is installed on this system's library path";
    }
    // A 32-bit build of the test driver beside this 64-bit program.
    qv58163::card::DriverLibrary driver(driverDir("word32"));
    const QString error = errorOf([&] { driver.QV58163_initial(); });
    EXPECT_EQ(error, QStringLiteral("the driver library libQV58163.so could not be loaded: %1 is a "
                                    "32-bit library and this program is 64-bit, so it cannot load "
                                    "it: a 32-bit driver needs a 32-bit build of the program, "
                                    "which this project does not make")
                         .arg(driverDir("word32") + QStringLiteral("/libQV58163.so")));
}

// The arguments of each export as the driver's header declares them.
template <typename R, typename... Arguments>
constexpr int argumentCount(R (*)(Arguments...)) {
    return sizeof...(Arguments);
}

TEST(Binding, DecoratedStdcallNamesCountFourBytesForEachArgumentOfTheHeader) {
    using qv58163::card::decoratedExportNames;
    using qv58163::card::Export;
    const std::pair<Export, int> arguments[] = {
        {Export::Initial, argumentCount(&QV58163_initial)},
        {Export::Close, argumentCount(&QV58163_close)},
        {Export::Info, argumentCount(&QV58163_info)},
        {Export::ConfigRead, argumentCount(&QV58163_AD_config_read)},
        {Export::ConfigSet, argumentCount(&QV58163_AD_config_set)},
        {Export::IntegralStart, argumentCount(&QV58163_AD_integral_start)},
        {Export::IntegralAllRead, argumentCount(&QV58163_AD_integral_all_read)},
        {Export::IntegralStop, argumentCount(&QV58163_AD_integral_stop)}};
    static_assert(std::size(arguments) == qv58163::card::exportCount);
    for (const auto &[which, count] : arguments) {
        const QByteArray plain(qv58163::card::exportName(which));
        const QByteArray suffix = '@' + QByteArray::number(4 * count);
        EXPECT_EQ(decoratedExportNames(which)[0], '_' + plain + suffix);
        EXPECT_EQ(decoratedExportNames(which)[1], plain + suffix);
    }
    EXPECT_EQ(decoratedExportNames(Export::ConfigSet)[0], "_QV58163_AD_config_set@12");
}

TEST(WordSize, IsReadFromTheHeaderOfAnElfOrAWindowsLibrary) {
    using qv58163::card::libraryWordSize;
    EXPECT_EQ(libraryWordSize(driverDir("word32") + QStringLiteral("/libQV58163.so")), 32);
    EXPECT_EQ(libraryWordSize(driverDir("beside") + QStringLiteral("/libQV58163.so")), 64);
    // A Windows library: the DOS header pointing at "PE\0\0" and the machine type.
    QTemporaryDir scratch;
    for (const auto &[machine, size] : {std::pair{0x014c, 32}, {0x8664, 64}, {0x01c4, 0}}) {
        QByteArray dll(0x40, '\0');
        dll.replace(0, 2, "MZ");
        dll[0x3c] = 0x40;
        dll += QByteArray("PE\0\0", 4) + char(machine & 0xff) + char(machine >> 8);
        QFile file(scratch.filePath(QStringLiteral("QV58163.dll")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(dll);
        file.close();
        EXPECT_EQ(libraryWordSize(file.fileName()), size) << machine;
    }
    QFile text(scratch.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("MZ, but no library\n") > 0);
    text.close();
    EXPECT_EQ(libraryWordSize(text.fileName()), 0);
}

TEST(Binding, TheDriverBesideTheProgramIsTakenOverOneInTheWorkingDirectory) {
    WorkingDirectory cwd(driverDir("decoy"));
    qv58163::card::DriverLibrary driver(driverDir("beside"));
    EXPECT_EQ(driver.QV58163_initial(), 11);
}

TEST(Binding, ALibraryInTheWorkingDirectoryIsNeverLoaded) {
    if (systemHasADriver()) {
        GTEST_SKIP() << "a driver is installed on this system's library path";
    }
    // Nothing beside the program, nothing on the system's path: the decoy is still not taken.
    WorkingDirectory cwd(driverDir("decoy"));
    qv58163::card::DriverLibrary driver(driverDir("empty"));
    EXPECT_FALSE(errorOf([&] { driver.QV58163_initial(); }).isEmpty());
    EXPECT_TRUE(driver.loadedFrom().isEmpty());
}

// Run with the system's search path pointing at drivers/system (see tests/CMakeLists.txt).
TEST(SystemPath, TheSystemPathIsSearchedOnlyWhenNothingIsBesideTheProgram) {
    ASSERT_TRUE(systemHasADriver()) << "this case runs with LD_LIBRARY_PATH set by CTest";
    qv58163::card::DriverLibrary fromSystem(driverDir("empty"));
    EXPECT_EQ(fromSystem.QV58163_initial(), 22);

    qv58163::card::DriverLibrary besideFirst(driverDir("beside"));
    EXPECT_EQ(besideFirst.QV58163_initial(), 11);

    WorkingDirectory cwd(driverDir("decoy"));
    qv58163::card::DriverLibrary notTheDecoy(driverDir("empty"));
    EXPECT_EQ(notTheDecoy.QV58163_initial(), 22);
}

}  // namespace
